/* Tokvin - what every edition computes alike: delay table, title, wheel,
   beat grid, MIDI bytes. No system header beyond the C library's. */
#include "beat.h"

#include <stdarg.h>
#include <stdio.h>

/* MinGW's own printf, which C++ mode picks, would add some 28 KB to the
   Windows program: there the C runtime's is used. */
#ifdef _WIN32
#define VFORMAT _vsnprintf
#else
#define VFORMAT vsnprintf
#endif

const char *const g_ValName[NVALUES] = { "Tempo", "MIDIChannel", "MIDINote",
                                         "MIDIVelocity", "MIDIDevice" };

void FormatText(char *buf, size_t size, const char *fmt, ...)
{
    va_list args;

    if (size == 0)
        return;
    va_start(args, fmt);
    VFORMAT(buf, size, fmt, args);
    va_end(args);
    buf[size - 1] = '\0';
}

/* ---------------------------------------------------------------------
   Tempo and delay table
   --------------------------------------------------------------------- */

int ClampTempo(int tempo)
{
    if (tempo > MAXTEMPO)
        tempo = MAXTEMPO;
    if (tempo < MINTEMPO)
        tempo = MINTEMPO;
    return tempo;
}

double GetDelay(int tempo)
{
    return 60000.0 / tempo;
}

unsigned TickOf(int tempo)
{
    return (unsigned)GetDelay(tempo);
}

const char *StrCalc(double value)
{
    static char text[CELLTEXTSIZE];

    FormatText(text, sizeof text, "%10.4f", value);
    return text;
}

/* value = quarter * mul / div, the multiplication first */
static const double s_CellMul[NCELLS] = { 4.0, 2.0, 1.0, 1.0, 1.0, 1.0, 4.0, 2.0, 1.0, 1.0 };
static const double s_CellDiv[NCELLS] = { 1.0, 1.0, 1.0, 2.0, 4.0, 8.0, 3.0, 3.0, 3.0, 6.0 };

double CellValue(double q, int i)
{
    return q * s_CellMul[i] / s_CellDiv[i];
}

void TitleText(char *buf, size_t size, int tempo)
{
    FormatText(buf, size, "%d BPM - %s", tempo, WIND_TITLE);
}

int WheelNotches(int *wheel, int delta)
{
    int notches;

    /* fine-grained wheels send parts of a notch: keep the rest for later */
    *wheel += delta;
    notches = *wheel / WHEELSTEP;
    if (*wheel >= WHEELSTEP || *wheel <= -WHEELSTEP)
        *wheel %= WHEELSTEP;
    return notches;
}

/* ---------------------------------------------------------------------
   MIDI bytes
   --------------------------------------------------------------------- */

static unsigned long Clamp(unsigned long value, unsigned long low, unsigned long high)
{
    value &= 0xFFFFFFFFUL;      /* a 32-bit setting, however wide the type */
    return value < low ? low : value > high ? high : value;
}

static unsigned long MidiPack(unsigned long note, unsigned long velo, unsigned long chan)
{
    return (MIDI_NOTEON | Clamp(chan, 0, MIDI_MAXCHAN)) | Clamp(note, 0, MIDI_MAXDATA) << 8 | velo << 16;
}

/* Channel, note and velocity come from the stored settings unchecked. Each
   goes out as the nearest value its field can carry, so a channel counted
   from 1 (16) stays the drum channel and a velocity of 128 stays loud; a
   velocity of 0 would make the click a note-off, so it sounds at 1. */
unsigned long MidiPackOn(unsigned long note, unsigned long velo, unsigned long chan)
{
    return MidiPack(note, Clamp(velo, 1, MIDI_MAXDATA), chan);
}

/* A note-off is a note-on with velocity 0. */
unsigned long MidiPackOff(unsigned long note, unsigned long chan)
{
    return MidiPack(note, 0, chan);
}

/* ---------------------------------------------------------------------
   Beat grid
   --------------------------------------------------------------------- */

#define MS_ONE      (1ULL << 32)            /* one millisecond in BEATTIME units */
#define NEGATIVE    (1ULL << 63)            /* sign bit of a BEATTIME difference */

BEATTIME BeatLength(int tempo)
{
    /* 60000 / tempo ms, cut to 2^-32 ms: a beat due on a whole millisecond
       stays on it, and the error stays below a microsecond a day */
    return 60000ULL * MS_ONE / (unsigned)tempo;
}

BEATTIME BeatTime(unsigned long ms)
{
    return (BEATTIME)(ms & 0xFFFFFFFFUL) << 32;
}

int BeatTest(unsigned long now, unsigned long oldTimer, unsigned long tick,
             int tempo, int fresh, BEATTIME *due)
{
    BEATTIME t = BeatTime(now);
    BEATTIME len, next;

    if (fresh) {
        if (((now - oldTimer) & 0xFFFFFFFFUL) < tick)
            return 0;
        *due = t;
        return 1;
    }
    len = BeatLength(tempo);
    next = *due + len;
    if ((t - next) & NEGATIVE)
        return 0;
    /* the thread was held up for more than a whole quarter: start over here
       rather than fire the missed beats in a burst */
    *due = (t - next >= len) ? t : next;
    return 1;
}
