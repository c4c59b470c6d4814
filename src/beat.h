/* Tokvin - what every edition of Tokvin computes alike, with nothing of the
   system it runs on: the tempo and its delay table, the window title, the
   wheel remainder, the beat grid of the metronome and the MIDI bytes. */
#ifndef TOKVIN_BEAT_H
#define TOKVIN_BEAT_H

#include <stddef.h>

/* Tempo range and steps */
#define MINTEMPO        12
#define MAXTEMPO        300
#define TRACKSUM        (MINTEMPO + MAXTEMPO)  /* trackbar position = TRACKSUM - tempo */
#define PAGEVAL         12
#define TRACKTICFREQ    18
#define WHEELSTEP       120                    /* wheel delta of one notch */

#define WIND_TITLE      "Tokvin 0.99"
#define NCELLS          10                     /* values in the delay table */
#define CELLTEXTSIZE    16
#define TITLESIZE       256

/* MIDI defaults and bytes */
#define DFLT_MIDIDEV    0
#define DFLT_MIDICHAN   9       /* tenth channel: General MIDI percussion */
#define DFLT_MIDIVELO   64
#define DFLT_MIDINOTE   75      /* claves */
#define MIDI_NOTEON     0x90
#define MIDI_MAXCHAN    15
#define MIDI_MAXDATA    127     /* highest note or velocity */

/* The stored values after "Flags", by their names, in the order they are
   written and read */
#define NVALUES         5
extern const char *const g_ValName[NVALUES];

/* Bounded printf into a fixed buffer; the result is always terminated.
   Numbers are written with a decimal point only where the C library's
   numeric locale is "C", the default: an edition that takes the user's
   locale keeps LC_NUMERIC at "C". */
void FormatText(char *buf, size_t size, const char *fmt, ...);

int         ClampTempo(int tempo);              /* into MINTEMPO..MAXTEMPO */
double      GetDelay(int tempo);                /* a quarter in ms; tempo already clamped */
unsigned    TickOf(int tempo);                  /* the quarter in whole ms, cut */
const char *StrCalc(double value);              /* "%10.4f" into a static buffer */
/* The delay table's cell 'i' (0..NCELLS-1, in the order written: the
   straight values 1/1..1/32, then the triplets 1/2..1/16) for the quarter q. */
double      CellValue(double q, int i);
void        TitleText(char *buf, size_t size, int tempo);   /* "120 BPM - Tokvin 0.99" */

/* Adds a wheel delta (WHEELSTEP a notch, either sign) to the remainder
   *wheel and returns the whole notches it now makes; the remainder keeps
   what is left of a notch, with its sign. */
int         WheelNotches(int *wheel, int delta);

/* Packed channel messages, status in the low byte, as Windows'
   midiOutShortMsg takes them. The values are the stored settings as they
   are; each is brought to the nearest value its field can carry. */
unsigned long MidiPackOn(unsigned long note, unsigned long velo, unsigned long chan);
unsigned long MidiPackOff(unsigned long note, unsigned long chan);

/* A point in time in milliseconds as 32.32 fixed point. The integer part
   wraps together with the 32-bit millisecond clock of the timer. */
typedef unsigned long long BEATTIME;

BEATTIME BeatLength(int tempo);     /* tempo as applied: 12..300 */
BEATTIME BeatTime(unsigned long ms);

/* Decides whether the timer tick at 'now' sounds a beat.
   fresh:    nonzero for the first beat after the click was started; it falls
             on the first tick at least 'tick' ms after 'oldTimer', the tick of
             the last beat of the previous run, and starts a new grid there.
   *due:     due time of the last beat, moved on when a beat is detected.
   Later beats fall on the first tick at or after one exact quarter length
   (at the current tempo) past the last due time. A tick that comes more than
   a quarter late starts the grid anew instead of catching up. */
int BeatTest(unsigned long now, unsigned long oldTimer, unsigned long tick,
             int tempo, int fresh, BEATTIME *due);

#endif
