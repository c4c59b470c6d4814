/* Tokvin - beat grid of the metronome: when does the next quarter note fall due. */
#ifndef TOKVIN_BEAT_H
#define TOKVIN_BEAT_H

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
