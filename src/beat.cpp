/* Tokvin - beat grid of the metronome. */
#include "beat.h"

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
