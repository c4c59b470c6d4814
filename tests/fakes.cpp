// Stand-ins for sound, MIDI, timer and help calls; see fakes.h.
// The program's modules are compiled for the tests without dllimport on
// these functions, so the definitions here take the place of the system's.
#include "fakes.h"
#include "delay.h"

#include <cstdio>

Fakes fake;

static std::string Format(const char *fmt, ...)
{
    char buf[512];
    va_list args;
    va_start(args, fmt);
    vsnprintf(buf, sizeof buf, fmt, args);
    va_end(args);
    return buf;
}

std::vector<std::string> Fakes::only(const std::string &prefix) const
{
    std::vector<std::string> out;
    for (const auto &e : log)
        if (e.compare(0, prefix.size(), prefix) == 0)
            out.push_back(e);
    return out;
}

void ResetFakes()
{
    fake = Fakes();
}

BOOL WINAPI FakeSetProcessInformation(HANDLE process, PROCESS_INFORMATION_CLASS cls, LPVOID info, DWORD size)
{
    if (process != GetCurrentProcess() || cls != ProcessPowerThrottling) {
        fake.log.push_back("power: another process or class");
        return FALSE;
    }
    const PROCESS_POWER_THROTTLING_STATE *s = static_cast<const PROCESS_POWER_THROTTLING_STATE *>(info);
    fake.log.push_back(Format("power v%lu control %lu state %lu size %lu", (unsigned long)s->Version,
                              (unsigned long)s->ControlMask, (unsigned long)s->StateMask, (unsigned long)size));
    return (s->ControlMask & fake.powerRefused) == 0;
}

static const HMIDIOUT kHandle = reinterpret_cast<HMIDIOUT>(0x4D1D);

extern "C" {

UINT WINAPI midiOutGetNumDevs(void)
{
    return fake.numDevs;
}

MMRESULT WINAPI midiOutOpen(LPHMIDIOUT phmo, UINT uDeviceID, DWORD_PTR, DWORD_PTR, DWORD fdwOpen)
{
    fake.log.push_back(Format("open %u flags %lu", uDeviceID, (unsigned long)fdwOpen));
    if (fake.openResult == MMSYSERR_NOERROR) {
        *phmo = kHandle;
        fake.deviceOpen = true;
    }
    return fake.openResult;
}

MMRESULT WINAPI midiOutShortMsg(HMIDIOUT hmo, DWORD dwMsg)
{
    fake.log.push_back(Format("msg %02lX %02lX %02lX %02lX%s", dwMsg & 0xFF, (dwMsg >> 8) & 0xFF,
                              (dwMsg >> 16) & 0xFF, dwMsg >> 24, hmo == kHandle ? "" : " (bad handle)"));
    if (hmo != kHandle || !fake.deviceOpen)
        return MMSYSERR_INVALHANDLE;
    return fake.sendResult;
}

MMRESULT WINAPI midiOutClose(HMIDIOUT hmo)
{
    fake.log.push_back(hmo == kHandle ? "close" : "close (bad handle)");
    if (hmo != kHandle || !fake.deviceOpen)
        return MMSYSERR_INVALHANDLE;
    if (fake.closeResult == MMSYSERR_NOERROR)
        fake.deviceOpen = false;
    return fake.closeResult;
}

BOOL WINAPI sndPlaySoundA(LPCSTR pszSound, UINT fuSound)
{
    const char *what = !pszSound ? "stop" : pszSound == static_cast<LPCSTR>(g_ToneMem) ? "tone" : "sample";
    fake.log.push_back(Format("snd %s flags %u", what, fuSound));
    return TRUE;
}

BOOL WINAPI Beep(DWORD dwFreq, DWORD dwDuration)
{
    fake.log.push_back(Format("beep %lu %lu", (unsigned long)dwFreq, (unsigned long)dwDuration));
    return TRUE;
}

UINT_PTR WINAPI SetTimer(HWND hWnd, UINT_PTR, UINT uElapse, TIMERPROC)
{
    fake.log.push_back(Format("settimer %u%s", uElapse, hWnd ? " (window)" : ""));
    return fake.nextTimerId;
}

BOOL WINAPI KillTimer(HWND, UINT_PTR uIDEvent)
{
    fake.log.push_back(Format("killtimer %u", (unsigned)uIDEvent));
    return TRUE;
}

MMRESULT WINAPI timeBeginPeriod(UINT uPeriod)
{
    fake.log.push_back(Format("timeBeginPeriod %u", uPeriod));
    return TIMERR_NOERROR;
}

MMRESULT WINAPI timeEndPeriod(UINT uPeriod)
{
    fake.log.push_back(Format("timeEndPeriod %u", uPeriod));
    return TIMERR_NOERROR;
}

static FARPROC Kernel32(const char *name)
{
    return GetProcAddress(GetModuleHandleA("kernel32.dll"), name);
}

// the system's own, unless the search flags are refused as before Windows 8
HMODULE WINAPI LoadLibraryExA(LPCSTR name, HANDLE file, DWORD flags)
{
    typedef HMODULE (WINAPI *Proc)(LPCSTR, HANDLE, DWORD);
    fake.log.push_back(Format("load %s %#lx", name, (unsigned long)flags));
    if (fake.searchFlagsRefused && (flags & LOAD_LIBRARY_SEARCH_SYSTEM32)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return reinterpret_cast<Proc>(reinterpret_cast<void (*)(void)>(Kernel32("LoadLibraryExA")))(name, file, flags);
}

BOOL WINAPI WinHelpA(HWND, LPCSTR lpszHelp, UINT uCommand, ULONG_PTR dwData)
{
    fake.log.push_back(Format("help %s %u %lu", lpszHelp, uCommand, (unsigned long)dwData));
    return fake.helpResult;
}

} // extern "C"

static LRESULT CALLBACK BoxHook(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_ACTIVATE) {
        HWND box = reinterpret_cast<HWND>(wParam);
        char cls[32] = "", caption[256] = "", text[600] = "";
        GetClassNameA(box, cls, sizeof cls);
        HWND body = GetDlgItem(box, 0xFFFF);
        if (std::string(cls) == "#32770" && body) {
            GetWindowTextA(box, caption, sizeof caption);
            GetWindowTextA(body, text, sizeof text);
            fake.log.push_back(Format("box %s: %s", caption, text));
            fake.lastBoxOwner = GetWindow(box, GW_OWNER);
            if (fake.inBox)
                fake.inBox(caption);
            PostMessageA(box, WM_COMMAND, IDOK, 0);
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

void WatchMessageBoxes()
{
    static HHOOK hook;
    if (!hook)
        hook = SetWindowsHookExA(WH_CBT, BoxHook, nullptr, GetCurrentThreadId());
}
