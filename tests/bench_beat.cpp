// Benchmark of the metronome's beat timing: feeds simulated timer ticks to
// the click's beat decision for every tempo and prints how far the clicks
// drift from the tempo and how late single beats come. Compares the beat
// grid the click uses with the older rule that measured every interval from
// the tick on which the last beat was detected.
//
//   tokvin_bench [beats]
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "beat.h"

namespace {

const double kStallEvery = 5000;     // ms between two stalls of the jittered timer
const double kStall = 110;           // ms

enum Pattern { Tick10, Tick15, Res1, Jitter, PatternCount };
const char *const kPatternName[] = {
    "10 ms",
    "15.625 ms: SetTimer(10) at Windows' default timer resolution",
    "10..11.5 ms: SetTimer(10) with the resolution raised to 1 ms (the click's own)",
    "10 ms jittered, 110 ms stall every 5 s"};

// Timer ticks in real time, deterministic for every run.
struct Ticks {
    Pattern p;
    double t = 1000.37;
    double nextStall = kStallEvery;
    unsigned seed = 12345;
    bool stalled = false;            // the last step was a stall

    explicit Ticks(Pattern pattern) : p(pattern) {}

    double next()
    {
        stalled = false;
        switch (p) {
        case Tick10: t += 10; break;
        case Tick15: t += 15.625; break;
        case Res1:
            // due 10 ms after the last call, served on the next 1 ms tick,
            // dispatched up to half a millisecond later
            seed = seed * 1103515245u + 12345u;
            t = std::ceil(t + 10) + ((seed >> 16) % 1000) / 2000.0;
            break;
        default:
            seed = seed * 1103515245u + 12345u;
            t += 10 + ((seed >> 16) % 1000) / 1000.0 * ((seed >> 8) % 100 < 98 ? 0.9 : 2.5);
            if (t >= nextStall) {
                t += kStall;
                nextStall += kStallEvery;
                stalled = true;
            }
        }
        return t;
    }
};

struct Result {
    double error = 0;                // long-run tempo error, percent
    double late = 0;                 // worst beat lateness outside stalls, ms
};

// Runs one tempo with one rule until 'beats' beats have sounded.
Result Run(int tempo, Pattern pattern, bool grid, int beats)
{
    Ticks ticks(pattern);
    const unsigned long tick = static_cast<unsigned long>(60000.0 / tempo);
    const double interval = 60000.0 / tempo;
    unsigned long old = 0;
    BEATTIME due = 0;
    int fresh = 1;
    int n = 0;
    double first = 0;
    double sk = 0, st = 0, skk = 0, skt = 0;   // least-squares line through the beats
    unsigned long firstClock = 0;
    Result r;
    while (n < beats) {
        double real = ticks.next();
        unsigned long now = static_cast<unsigned long>(real);
        bool beat = grid ? BeatTest(now, old, tick, tempo, fresh, &due) != 0 : now - old >= tick;
        if (!beat)
            continue;
        fresh = 0;
        old = now;
        if (n == 0) {
            first = real;
            firstClock = now;
        } else if (!ticks.stalled) {
            double late = (now - firstClock) - n * interval;
            if (late > r.late)
                r.late = late;
        }
        double t = real - first;
        sk += n;
        st += t;
        skk += double(n) * n;
        skt += n * t;
        n++;
    }
    double slope = (n * skt - sk * st) / (n * skk - sk * sk);
    r.error = (slope - interval) / interval * 100;
    return r;
}

} // namespace

int main(int argc, char **argv)
{
    const int beats = argc > 1 ? std::atoi(argv[1]) : 2000;
    const int shown[] = {60, 130, 298, 300};

    std::printf("Click timing over %d beats for every tempo 12..300 BPM\n", beats);
    std::printf("error: long-run tempo error (slope of a straight line through the beats)\n"
                "late:  worst lateness of a beat against its exact time on the program's\n"
                "       millisecond clock, stalls left out\n\n");
    for (int p = 0; p < PatternCount; p++) {
        Pattern pattern = static_cast<Pattern>(p);
        std::printf("Timer period %s\n", kPatternName[p]);
        std::printf("  %-26s %14s %14s\n", "rule", "worst error %", "worst late ms");
        Result worst[2];
        for (int g = 0; g < 2; g++)
            for (int tempo = 12; tempo <= 300; tempo++) {
                Result r = Run(tempo, pattern, g != 0, beats);
                if (std::fabs(r.error) > std::fabs(worst[g].error))
                    worst[g].error = r.error;
                if (r.late > worst[g].late)
                    worst[g].late = r.late;
            }
        std::printf("  %-26s %14.4f %14.2f\n", "detection tick (old)", worst[0].error, worst[0].late);
        std::printf("  %-26s %14.4f %14.2f\n", "beat grid (Tokvin)", worst[1].error, worst[1].late);
        for (int tempo : shown) {
            Result o = Run(tempo, pattern, false, beats), n = Run(tempo, pattern, true, beats);
            std::printf("    %3d BPM: old %8.4f %% %9.1f ms   grid %8.4f %% %6.2f ms\n",
                        tempo, o.error, o.late, n.error, n.late);
        }
        std::printf("\n");
    }
    return 0;
}
