// Helpers for tests that look at the built tokvin.exe or run it as a user does.
#pragma once

#include <windows.h>

#include <functional>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

// Full path of tokvin.exe in the build tree (the folder above the tests).
std::string TokvinPath();
std::wstring Widen(const std::string &ansi);

// Waits until cond() holds, pumping this thread's messages; false after timeoutMs.
template <class Cond>
bool WaitFor(Cond cond, DWORD timeoutMs = 20000)
{
    DWORD start = GetTickCount();
    for (;;) {
        if (cond())
            return true;
        if (GetTickCount() - start > timeoutMs)
            return false;
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

// A running copy of tokvin.exe and its main window.
struct Tokvin {
    PROCESS_INFORMATION pi = {};
    HWND h = nullptr;

    explicit Tokvin(const std::string &exe = TokvinPath());   // starts it, waits for its window
    explicit Tokvin(const std::wstring &exe);                 // a path the ANSI code page may not hold
    ~Tokvin();                // closes it if still running
    Tokvin(const Tokvin &) = delete;
    Tokvin &operator=(const Tokvin &) = delete;

    std::string text(int id) const;
    std::string title() const;
    bool checked(int id) const;
    bool enabled(int id) const;
    DWORD close();            // WM_CLOSE, waits for the exit, returns the exit code
    DWORD exitCode();         // waits for the exit, returns the exit code
    bool running() const;
    void pressF1() const;     // a real key press, with Tokvin in the foreground
    // a visible top-level window of this process other than the main window,
    // of the given class; null when there is none
    HWND window(const char *cls, int *count = nullptr) const;
};

// The first window for which match holds: a top-level window, or with a
// parent a child of it at any depth; null when there is none.
HWND FindWindowWhere(const std::function<bool(HWND)> &match, HWND parent = nullptr);
std::string WindowText(HWND hwnd);   // by WM_GETTEXT, also from other processes

// A visible top-level window whose title contains part, or null.
HWND FindTopWindow(const std::string &part);

// A child window (at any depth) whose text contains part, or null.
HWND FindChildWithText(HWND parent, const std::string &part);

// tokvin.exe and its manifest copied into a folder of its own (under the
// temporary folder), with the given files of the build folder; removed again
// with everything put there.
struct Installed {
    std::wstring dir;
    explicit Installed(std::initializer_list<const char *> files, const std::wstring &name = L"tokvin-install");
    ~Installed();
    Installed(const Installed &) = delete;
    Installed &operator=(const Installed &) = delete;
    void add(const std::wstring &from, const std::wstring &as);   // any file, under a name of its own
    bool has(const std::wstring &name) const;
    std::wstring exe() const { return dir + L"tokvin.exe"; }
private:
    std::vector<std::wstring> files_;
};

// Wine's DLL overrides for every tokvin.exe of the prefix while in scope:
// {"mshtml", ""} switches the DLL off, {"winmm", "native,builtin"} takes a
// DLL found beside the program first, as Windows does with one that is not
// a KnownDLL.
struct DllOverrides {
    explicit DllOverrides(std::initializer_list<std::pair<const char *, const char *>> dlls);
    ~DllOverrides();
    DllOverrides(const DllOverrides &) = delete;
    DllOverrides &operator=(const DllOverrides &) = delete;
};

// The loopback MIDI driver (tests/loopmidi) as winmm's driver for every
// program started while in scope: copied into the system folder, where
// winmm loads its drivers from, and registered as the server of the sound
// system's device enumerator, which hands all else on to Wine's own.
struct LoopbackMidi {
    explicit LoopbackMidi(const std::string &driver);   // its file in the build
    ~LoopbackMidi();
    LoopbackMidi(const LoopbackMidi &) = delete;
    LoopbackMidi &operator=(const LoopbackMidi &) = delete;
};

// Where a running process has the DLL 'name' from, lower case; empty if not loaded.
std::string LoadedFrom(DWORD pid, const char *name);

// Deletes HKCU\Software\Tokvin or sets one of its DWORD values.
void ClearSettings();
void StoreDword(const char *name, DWORD value);
bool ReadDword(const char *name, DWORD *value);
