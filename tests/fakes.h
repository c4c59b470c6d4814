// Stand-ins for the system calls that make sound, drive MIDI, run timers,
// start the help viewer or load DLLs, for in-process tests: Wine here has no sound card
// and no MIDI device, and the tests choose the clock readings themselves.
// Every call is written to a log that the tests read back.
#pragma once

#include <windows.h>
#include <mmsystem.h>

#include <functional>
#include <string>
#include <vector>

struct Fakes {
    std::vector<std::string> log;
    UINT     numDevs = 1;             // midiOutGetNumDevs
    MMRESULT openResult = MMSYSERR_NOERROR;
    MMRESULT sendResult = MMSYSERR_NOERROR;
    MMRESULT closeResult = MMSYSERR_NOERROR;
    BOOL     helpResult = TRUE;       // WinHelpA
    UINT_PTR nextTimerId = 41;        // SetTimer; 0 refuses the timer
    bool     deviceOpen = false;      // sends to a closed device fail, as they do
    HWND     lastBoxOwner = nullptr;
    ULONG    powerRefused = 0;        // FakeSetProcessInformation refuses a ControlMask with these bits
    bool     searchFlagsRefused = false;  // LoadLibraryExA as XP, Vista and 7 without KB2533623
    // called from inside every message box, before it is answered
    std::function<void(const std::string &caption)> inBox;

    // entries of the log that start with prefix
    std::vector<std::string> only(const std::string &prefix) const;
};

extern Fakes fake;

void ResetFakes();

// Stands in for the SetProcessInformation that the program looks up at
// start-up (g_SetProcessInfo): logs "power v<Version> control <ControlMask>
// state <StateMask> size <size>" for power throttling of this process.
BOOL WINAPI FakeSetProcessInformation(HANDLE process, PROCESS_INFORMATION_CLASS cls, LPVOID info, DWORD size);

// Message boxes are real: a hook logs "box <caption>: <text>" and answers them.
void WatchMessageBoxes();
