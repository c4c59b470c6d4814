/* Tokvin - the click sample: a complete RIFF/WAVE image (15126 bytes and two
   fill bytes), played straight from memory. The numbers are produced from
   the synthesised WAVE file when the program is built. */
#ifndef TOKVIN_CLICKWAV_H
#define TOKVIN_CLICKWAV_H

#define CLICKWAV_WORDS  3782

static const int clickwav[CLICKWAV_WORDS] = {
#include "clickwav.inc"
};

#endif
