/* Tokvin for Linux - the click's stream, mixed to the frame. Every beat
   lies on round(n x 44100 x 60 / tempo) from the beat the tempo last
   changed on, counted in frames written, so neither rounding nor the
   sound server's underruns add up. */
#include "mixer.h"

#include <string.h>

#include "clickwav.h"

int64_t g_MixFrame;
int64_t g_LastBeat;
int64_t g_NextBeat;
int64_t g_GridOrigin;
int64_t g_GridN;
int     g_GridTempo;
int64_t g_SoundDue  = MIX_NONE;
int64_t g_SampleAt  = MIX_NONE;
int64_t g_ToneAt    = MIX_NONE;
int     g_NoteSent;

int64_t BeatFrames(int64_t n, int tempo)
{
    return (2 * n * MIX_MINUTE + tempo) / (2 * tempo);
}

void MixStart(int64_t first, int tempo)
{
    g_MixFrame = 0;
    g_GridTempo = tempo;
    g_GridOrigin = first;
    g_GridN = -1;                   /* the first beat is the origin itself */
    g_NextBeat = first;
    g_LastBeat = first - BeatFrames(1, tempo);
    g_SoundDue = g_SampleAt = g_ToneAt = MIX_NONE;
    g_NoteSent = 0;
}

static short Saturate(int v)
{
    return (short)(v > 32767 ? 32767 : v < -32768 ? -32768 : v);
}

/* the sample's frame i, left and right */
static void SampleFrame(int64_t i, int *l, int *r)
{
    const unsigned char *p = (const unsigned char *)clickwav + CLICK_DATA + 4 * i;

    *l += (short)(p[0] | p[1] << 8);
    *r += (short)(p[2] | p[3] << 8);
}

void MixFrames(short *out, int frames, int tempo, int beep, int midi, int cut, MIXEVENT event)
{
    int64_t f, end = g_MixFrame + frames;

    if (cut)
        g_SampleAt = MIX_NONE;
    /* a new tempo counts from the last beat; where that beat's interval
       has already passed, the beat falls on the first frame not written */
    if (tempo != g_GridTempo) {
        g_GridTempo = tempo;
        g_GridOrigin = g_LastBeat;
        g_GridN = 0;
        g_NextBeat = g_GridOrigin + BeatFrames(1, tempo);
        if (g_NextBeat < g_MixFrame) {
            g_GridOrigin = g_NextBeat = g_MixFrame;
            g_GridN = -1;
        }
    }
    for (f = g_MixFrame; f < end; f++, out += 2) {
        int l = 0, r = 0;

        if (f == g_NextBeat) {
            if (g_NoteSent)     /* never a note-on without its note-off */
                event(MIX_NOTEOFF, f);
            g_NoteSent = 0;
            if (midi) {
                event(MIX_NOTEON, f);
                g_NoteSent = 1;
            }
            g_SoundDue = f + MIX_SOUNDDELAY;
            g_LastBeat = f;
            g_GridN++;
            g_NextBeat = g_GridOrigin + BeatFrames(g_GridN + 1, tempo);
        }
        if (f == g_SoundDue) {
            if (beep)
                g_ToneAt = f;
            else if (!midi)
                g_SampleAt = f;
            if (g_NoteSent)
                event(MIX_NOTEOFF, f);
            g_NoteSent = 0;
            g_SoundDue = MIX_NONE;
        }
        if (g_SampleAt != MIX_NONE) {
            if (f - g_SampleAt < CLICK_FRAMES)
                SampleFrame(f - g_SampleAt, &l, &r);
            else
                g_SampleAt = MIX_NONE;
        }
        if (g_ToneAt != MIX_NONE) {
            if (f - g_ToneAt < BEEP_FRAMES) {
                l += beepwave[f - g_ToneAt];
                r += beepwave[f - g_ToneAt];
            } else {
                g_ToneAt = MIX_NONE;
            }
        }
        out[0] = Saturate(l);
        out[1] = Saturate(r);
    }
    g_MixFrame = end;
}
