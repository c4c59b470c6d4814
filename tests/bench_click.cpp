// Benchmark of the real program's click under Wine: runs tokvin.exe for a
// while at several tempi with the MIDI and the Audio source and measures
// the beats where they leave the program (the loopback MIDI driver's log,
// Wine's trace of sndPlaySoundA). For comparison, the detection-tick rule
// is applied to a 10 ms thread timer of this process that runs meanwhile,
// under the same load. Prints figures; judges nothing.
//
// Runs as one doctest case so that a failure to start the program is
// reported, not crashed on; BENCH_SECONDS sets the length of a run (20 s).
// TOKVIN_TRACE as for the e2e tests.
#define DOCTEST_CONFIG_IMPLEMENT_WITH_MAIN
#include <doctest.h>

#include "delay.h"
#include "resource.h"
#include "session.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

struct Figures {
    int beats = 0;
    double error = 0;     // long-run tempo error, percent (slope of the fitted line)
    double late = 0;      // worst lateness of a beat behind the fitted line, ms
};

Figures Fit(const std::vector<double> &t, double interval)
{
    Figures f;
    size_t n = t.size();
    f.beats = static_cast<int>(n);
    if (n < 3)
        return f;
    double sk = 0, st = 0, skk = 0, skt = 0;
    for (size_t k = 0; k < n; k++) {
        double x = t[k] - t[0];
        sk += k;
        st += x;
        skk += double(k) * k;
        skt += k * x;
    }
    double slope = (n * skt - sk * st) / (n * skk - sk * sk);
    double icpt = (st - slope * sk) / n;
    f.error = (slope - interval) / interval * 100;
    for (size_t k = 0; k < n; k++)
        f.late = std::max(f.late, (t[k] - t[0]) - (icpt + slope * k));
    return f;
}

// 10 ms thread timer of this process: clock readings and precise times
std::vector<std::pair<DWORD, double>> g_ProbeTicks;

double NowMs()
{
    LARGE_INTEGER c, f;
    QueryPerformanceCounter(&c);
    QueryPerformanceFrequency(&f);
    return c.QuadPart * 1000.0 / f.QuadPart;
}

void CALLBACK Probe(HWND, UINT, UINT_PTR, DWORD time)
{
    g_ProbeTicks.push_back({time, NowMs()});
}

std::vector<double> DetectionRule(int tempo)
{
    std::vector<double> beats;
    DWORD tick = 60000 / tempo, old = 0;
    for (const auto &p : g_ProbeTicks)
        if (p.first - old >= tick) {
            old = p.first;
            beats.push_back(p.second);
        }
    return beats;
}

} // namespace

TEST_CASE("click timing of the real program")
{
    const char *env = std::getenv("BENCH_SECONDS");
    const DWORD seconds = env && std::atoi(env) > 0 ? std::atoi(env) : 20;
    const int tempi[] = {60, 130, 298, 300};
    const char *const sources[] = {"MIDI", "Audio"};

    std::printf("Tokvin under Wine, %lu s per run; beats as they leave the program\n", (unsigned long)seconds);
    std::printf("error: long-run tempo error of the straight line through the beats\n");
    std::printf("late:  worst lateness of a beat behind that line, ms\n\n");
    std::printf("%5s %-6s | %6s %9s %8s | %s %9s %8s\n", "BPM", "source", "beats", "error %", "late", "detection-tick rule:", "error %", "late");
    for (int tempo : tempi)
        for (int src = 0; src < 2; src++) {
            StoreSource(src == 0 ? BITMIDI : 0, tempo);
            Session s;
            g_ProbeTicks.clear();
            UINT_PTR probe = SetTimer(nullptr, 0, TIMER_TICK, Probe);
            s.post(BCLICK);
            DWORD start = GetTickCount();
            s.until([&] { return GetTickCount() - start >= seconds * 1000; }, seconds * 1000 + 5000);
            s.post(BCLICK);
            KillTimer(nullptr, probe);

            std::vector<double> beats;
            if (src == 0) {
                for (const MidiEvent &e : s.midi())
                    if (e.kind == "data" && (e.value & 0xFF0000))
                        beats.push_back(e.ms);
            } else {
                for (const Call &c : s.calls("sndPlaySoundA"))
                    if (c.arg1)
                        beats.push_back(c.ms);
            }
            Figures ours = Fit(beats, 60000.0 / tempo);
            Figures old = Fit(DetectionRule(tempo), 60000.0 / tempo);
            std::printf("%5d %-6s | %6d %9.4f %8.1f | %20s %9.4f %8.1f\n", tempo, sources[src], ours.beats,
                        ours.error, ours.late, "", old.error, old.late);
            std::fflush(stdout);
        }
    ClearSettings();
}
