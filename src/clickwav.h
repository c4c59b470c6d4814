/* Tokvin - the click sample: a complete RIFF/WAVE image (15126 bytes and two
   fill bytes), played straight from memory; and the Beep source's 2160 Hz
   tone where the system's own beep is not heard: 20 ms of samples for
   Wine, which the Windows program puts into a WAVE image of its own at
   start-up, and the Beep's own 4 ms for the Linux edition's continuous
   stream. The numbers are produced when the program is built. */
#ifndef TOKVIN_CLICKWAV_H
#define TOKVIN_CLICKWAV_H

#define CLICKWAV_WORDS  3782
#define CLICK_DATA      58      /* byte offset of the sample frames */
#define CLICK_FRAMES    3753    /* 16-bit stereo frames */
#define TONE_RATE       44100   /* the sample's rate, 16-bit stereo */
#define TONE_FRAMES     882     /* 20 ms: heard on every beat through Wine's PulseAudio */
#define TONE_IMAGE_FRAMES 3528  /* 80 ms, the rest silent; shorter than the sample */
#define BEEP_FRAMES     176     /* 4 ms */

static const int clickwav[CLICKWAV_WORDS] = {
#include "clickwav.inc"
};

static const short tonewave[TONE_FRAMES] = {
#include "tone.inc"
};

static const short beepwave[BEEP_FRAMES] = {
#include "beep.inc"
};

#endif
