// One timed run of the real program for the sound test and benchmark
// (sound_test.py): stores tempo and source, starts tokvin.exe, switches the
// click on, lets it run, switches it off and closes the program. Prints
// how long the click ran and the exit code. A doctest case, so that a
// program that fails to start is reported rather than crashed on.
//
// Environment: SOUND_EXE (default: the built tokvin.exe), SOUND_TEMPO,
// SOUND_FLAGS (stored "Flags"), SOUND_SECONDS, SOUND_MIDI_DRIVER (the
// loopback MIDI driver, winmm's for the run).
#define DOCTEST_CONFIG_IMPLEMENT_WITH_MAIN
#include <doctest.h>

#include "exe.h"
#include "resource.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

static DWORD Setting(const char *name, DWORD fallback)
{
    const char *v = std::getenv(name);
    return v ? std::strtoul(v, nullptr, 10) : fallback;
}

TEST_CASE("a timed run of the click")
{
    const char *driver = std::getenv("SOUND_MIDI_DRIVER");
    std::unique_ptr<LoopbackMidi> loopback(driver ? new LoopbackMidi(driver) : nullptr);
    const char *exe = std::getenv("SOUND_EXE");
    const DWORD ms = Setting("SOUND_SECONDS", 10) * 1000;
    ClearSettings();
    StoreDword("Flags", Setting("SOUND_FLAGS", 0));
    StoreDword("Tempo", Setting("SOUND_TEMPO", 120));
    Tokvin app(exe ? exe : TokvinPath());
    HWND button = GetDlgItem(app.h, BCLICK);

    PostMessageA(button, BM_CLICK, 0, 0);
    REQUIRE(WaitFor([&] { return SendMessageA(button, BM_GETCHECK, 0, 0) == BST_CHECKED; }));
    const DWORD start = GetTickCount();
    // the length of the recording, not a wait for something to happen
    WaitFor([&] { return GetTickCount() - start >= ms; }, ms + 1000);
    PostMessageA(button, BM_CLICK, 0, 0);
    REQUIRE(WaitFor([&] { return SendMessageA(button, BM_GETCHECK, 0, 0) == BST_UNCHECKED; }));
    const DWORD ran = GetTickCount() - start;
    const DWORD code = app.close();
    std::printf("clicked %lu ms, exit code %lu\n", static_cast<unsigned long>(ran), static_cast<unsigned long>(code));
    CHECK(code == 0);
}
