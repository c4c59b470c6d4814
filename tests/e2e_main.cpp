// Test runner for the end-to-end tests of the metronome.
#define DOCTEST_CONFIG_IMPLEMENT_WITH_MAIN
#include <doctest.h>
