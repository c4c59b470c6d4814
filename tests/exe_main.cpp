// Test runner for the tests that look at or run the built tokvin.exe.
#define DOCTEST_CONFIG_IMPLEMENT_WITH_MAIN
#include <doctest.h>
