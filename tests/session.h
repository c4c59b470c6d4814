// A run of the real tokvin.exe with a MIDI device of its own and with its
// sound calls traced: the loopback driver (tests/loopmidi) logs what reaches
// the MIDI device; Wine's relay trace of sndPlaySoundA, Beep and
// midiOutShortMsg shows every click the program plays. Also finds and
// answers the program's message boxes.
#pragma once

#include "exe.h"

#include <memory>
#include <string>
#include <vector>

// One line of the loopback driver's log.
struct MidiEvent {
    double ms;                 // driver clock
    std::string kind;          // open, close, data
    unsigned long value;       // device number or packed message
};

// One traced call of the program.
struct Call {
    double ms;                 // trace clock
    std::string name;          // sndPlaySoundA, Beep, midiOutShortMsg, timeBeginPeriod, timeEndPeriod,
                               // SetProcessInformation, LoadLibraryA, LoadLibraryExA
    unsigned long long arg1, arg2;   // as wide as the traced program's pointers
    std::string args;                // all of them, as traced
};

// A message box of the program, answered when found.
struct Box {
    std::string caption, text;
};

struct Session {
    // Starts Tokvin (the built one, or exe) with the given settings;
    // failure injection by the driver's variables, e.g. {"TKLOOP_OPENFAIL"}.
    explicit Session(const std::vector<std::string> &driverFlags = {}, const std::wstring &exe = L"");
    ~Session();
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    Tokvin &app();
    void post(int id);                       // BM_CLICK posted to a control
    std::vector<MidiEvent> midi() const;
    std::vector<Call> calls(const std::string &name = "") const;
    std::vector<Box> boxes;                   // every box answered so far

    // Waits for cond, answering boxes meanwhile (unless keepBoxes).
    template <class Cond>
    bool until(Cond cond, DWORD timeoutMs = 30000, bool keepBoxes = false)
    {
        return WaitFor([&] { if (!keepBoxes) answerBoxes(); return cond(); }, timeoutMs);
    }
    // A box of the program that is open now, or null; does not answer it.
    HWND openBox(Box *box = nullptr) const;
    void answerBoxes();

private:
    std::string logPath_;
    std::string tracePath_;
    long long traceStart_ = 0;
    Tokvin *app_ = nullptr;
    std::unique_ptr<LoopbackMidi> loopback_;
};

// Sets the stored settings of Tokvin: Flags and Tempo.
void StoreSource(DWORD flags, DWORD tempo = 120);
