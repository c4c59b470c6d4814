/* Tokvin for Linux - the click's stream, frame by frame: silence, with the
   sample or the tone mixed in at each beat's sound frame, and the MIDI
   notes handed out at their frames. Pure code, owned by the thread that
   writes the stream. */
#ifndef TOKVIN_MIXER_H
#define TOKVIN_MIXER_H

#include <stdint.h>

#define MIX_RATE        44100
#define MIX_MINUTE      (MIX_RATE * 60LL)   /* frames of a minute */
#define MIX_SOUNDDELAY  4410                /* beat to sound: the Windows program's ten ticks */
#define MIX_NONE        INT64_MIN

#define MIX_NOTEON      1
#define MIX_NOTEOFF     2

typedef void (*MIXEVENT)(int kind, int64_t frame);

extern int64_t g_MixFrame;      /* frames written since the switch-on */
extern int64_t g_LastBeat;      /* frame of the last beat */
extern int64_t g_NextBeat;
extern int64_t g_GridOrigin;    /* the beat the tempo last changed on */
extern int64_t g_GridN;         /* beats since then */
extern int     g_GridTempo;
extern int64_t g_SoundDue;      /* sound frame of a beat not yet sounded */
extern int64_t g_SampleAt;      /* where the sample sounding began */
extern int64_t g_ToneAt;        /* where the tone sounding began */
extern int     g_NoteSent;      /* a note-on still wants its note-off */

/* Beat frame n since the grid's origin: round(n x 44100 x 60 / tempo) */
int64_t BeatFrames(int64_t n, int tempo);

/* A new stream, its first beat at frame 'first' */
void MixStart(int64_t first, int tempo);

/* The next 'frames' frames, 16-bit stereo, into out. A tempo, source or cut
   applies from the first of them. Note-ons and note-offs go to 'event'
   with their frames, in order. */
void MixFrames(short *out, int frames, int tempo, int beep, int midi, int cut, MIXEVENT event);

#endif
