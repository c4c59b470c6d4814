/* Tokvin - the click sample: a complete RIFF/WAVE image (15126 bytes and two
   fill bytes), played straight from memory; and the Beep source's 2160 Hz
   tone for Wine, whose Beep sounds nowhere: 20 ms of samples, which the
   program puts into a WAVE image of its own at start-up. The numbers are
   produced when the program is built. */
#ifndef TOKVIN_CLICKWAV_H
#define TOKVIN_CLICKWAV_H

#define CLICKWAV_WORDS  3782
#define TONE_RATE       44100   /* the sample's rate, 16-bit stereo */
#define TONE_FRAMES     882     /* 20 ms: heard on every beat through Wine's PulseAudio */
#define TONE_IMAGE_FRAMES 3528  /* 80 ms, the rest silent; shorter than the sample */

static const int clickwav[CLICKWAV_WORDS] = {
#include "clickwav.inc"
};

static const short tonewave[TONE_FRAMES] = {
#include "tone.inc"
};

#endif
