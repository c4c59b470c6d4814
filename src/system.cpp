/* Tokvin - what the program asks of the Windows it runs on. Everything
   newer than XP is looked up at run time, so that one program runs from XP
   to 11 and under Wine; where a request is refused, Tokvin runs without. */
#include <windows.h>
#include <mmsystem.h>
#include <delayimp.h>
#include <string.h>

#include "system.h"

int             g_TimePeriod  = 0;
int             g_PowerOptOut = 0;
int             g_UnderWine   = 0;
SETPROCINFOPROC g_SetProcessInfo;

static FARPROC Kernel32Proc(const char *name)
{
    return GetProcAddress(GetModuleHandleA("kernel32.dll"), name);
}

/* ---------------------------------------------------------------------
   Windows' own DLLs
   --------------------------------------------------------------------- */

/* Does the program's manifest send the DLL 'name' to the side-by-side
   store (comctl32 6)? FindActCtxSectionStringA is there from XP on. */
static int RedirectedBySxs(const char *name)
{
    typedef BOOL (WINAPI *FINDACTCTXPROC)(DWORD, const GUID *, ULONG, LPCSTR, PACTCTX_SECTION_KEYED_DATA);
    FINDACTCTXPROC            find;
    ACTCTX_SECTION_KEYED_DATA data;

    find = (FINDACTCTXPROC)(void (*)(void))Kernel32Proc("FindActCtxSectionStringA");
    memset(&data, 0, sizeof data);
    data.cbSize = sizeof data;
    return find && find(0, NULL, ACTIVATION_CONTEXT_SECTION_DLL_REDIRECTION, name, &data);
}

/* A DLL of Windows' own, from the system folder only: the program's folder
   comes first in the usual search, and a download folder may hold anything.
   XP, Vista and 7 without KB2533623 do not know the flag and refuse it with
   ERROR_INVALID_PARAMETER; there the full path does the same, except for a
   DLL the manifest redirects, which Windows takes from the side-by-side
   store when it is asked for by name (by its path it would be the system
   folder's older comctl32). */
HMODULE LoadSystemLibrary(const char *name)
{
    char    path[MAX_PATH];
    HMODULE hLib;
    UINT    len;

    hLib = LoadLibraryExA(name, NULL, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (hLib || GetLastError() != ERROR_INVALID_PARAMETER)
        return hLib;
    if (RedirectedBySxs(name))
        return LoadLibraryExA(name, NULL, 0);
    len = GetSystemDirectoryA(path, sizeof path);
    if (len == 0 || len + 1 + strlen(name) >= sizeof path)
        return NULL;
    path[len] = '\\';
    strcpy(path + len + 1, name);
    return LoadLibraryExA(path, NULL, LOAD_WITH_ALTERED_SEARCH_PATH);
}

/* winmm.dll and comctl32.dll are not among Windows' KnownDLLs: imported
   the usual way, they would be looked for in the program's folder first,
   and a DLL of that name lying there (a download folder may hold anything)
   would run before WinMain. Both are delay-loaded instead (CMakeLists.txt):
   the first call into each comes here, and the DLL is taken from the
   system folder only (with the manifest beside the program, comctl32 6
   still comes from the side-by-side store).
   Should the system folder not give it, the program ends here, with the
   status the loader would have ended it with, and before the helper could
   fall back to the usual search. Both are first called during start-up
   (InitCommonControlsEx, midiOutGetNumDevs), so that is where a missing
   one ends it, never in the middle of a click.
   The helper writes each function's address into its slot. Newer GNU
   linkers (binutils 2.44, Debian 13's) mark the section that holds the
   slots read-only, and Windows maps it so: the write would fault on the
   first call. The slot is made writable first and left so, since the
   click thread may be resolving its own slot on the same page. */
static FARPROC WINAPI DelayLoadNotify(unsigned dliNotify, PDelayLoadInfo pdli)
{
    HMODULE hLib;
    DWORD   was;

    if (dliNotify == dliStartProcessing) {
        VirtualProtect(pdli->ppfn, sizeof *pdli->ppfn, PAGE_READWRITE, &was);
        return NULL;
    }
    if (dliNotify != dliNotePreLoadLibrary)
        return NULL;
    hLib = LoadSystemLibrary(pdli->szDll);
    if (hLib == NULL)
        ExitProcess((UINT)STATUS_DLL_NOT_FOUND);
    return (FARPROC)(void *)hLib;
}

/* A function missing from the DLL: every Windows has those we call. */
static FARPROC WINAPI DelayLoadFailure(unsigned dliNotify, PDelayLoadInfo pdli)
{
    (void)pdli;
    ExitProcess((UINT)(dliNotify == dliFailGetProc ? STATUS_ENTRYPOINT_NOT_FOUND : STATUS_DLL_NOT_FOUND));
    return NULL;
}

/* Microsoft's delayimp.h declares the hooks const, MinGW-w64's does not. */
#ifdef _MSC_VER
#define DELAYHOOK const
#else
#define DELAYHOOK
#endif
extern "C" {
DELAYHOOK PfnDliHook __pfnDliNotifyHook2 = DelayLoadNotify;
DELAYHOOK PfnDliHook __pfnDliFailureHook2 = DelayLoadFailure;
}

/* What Windows' own DLLs load on the program's behalf (comctl32 6 loads the
   theme DLL, for one) comes from the system folder too. Windows 8 on, and 7
   with KB2533623, can be told so; before that, the current folder at least
   is taken out of the search. */
static void SearchSystemFolderOnly(void)
{
    typedef BOOL (WINAPI *SETDEFAULTDLLDIRSPROC)(DWORD);
    typedef BOOL (WINAPI *SETDLLDIRPROC)(LPCSTR);
    SETDEFAULTDLLDIRSPROC setDefaultDirs;
    SETDLLDIRPROC         setDllDir;

    setDefaultDirs = (SETDEFAULTDLLDIRSPROC)(void (*)(void))Kernel32Proc("SetDefaultDllDirectories");
    if (setDefaultDirs && setDefaultDirs(LOAD_LIBRARY_SEARCH_SYSTEM32))
        return;
    setDllDir = (SETDLLDIRPROC)(void (*)(void))Kernel32Proc("SetDllDirectoryA");
    if (setDllDir)
        setDllDir("");
}

/* ---------------------------------------------------------------------
   Timer resolution and power throttling
   --------------------------------------------------------------------- */

/* From Windows 11 on, a process whose windows are covered or minimized
   keeps a raised timer resolution only if it says so, and Windows slows
   background processes down for power unless they opt out: exactly how the
   click is used, behind the recording program. SetProcessInformation is
   there from Windows 8 on and looked up at start-up; before that, and
   where the call fails, the click simply runs without. */
static BOOL SetPowerThrottling(ULONG controlMask)
{
    PROCESS_POWER_THROTTLING_STATE state;

    state.Version = PROCESS_POWER_THROTTLING_CURRENT_VERSION;
    state.ControlMask = controlMask;
    state.StateMask = 0;                /* off for what ControlMask names */
    return g_SetProcessInfo(GetCurrentProcess(), ProcessPowerThrottling, &state, sizeof state);
}

/* Windows' default timer resolution of 15.625 ms would let every beat come
   up to a tick late; while the click runs it asks for 1 ms, and to keep it
   and its speed while in the background. */
void RaiseTimerResolution(void)
{
    /* Windows 10 knows no IGNORE_TIMER_RESOLUTION and refuses the pair
       whole: it still keeps the speed when asked for that alone. */
    if (!g_PowerOptOut && g_SetProcessInfo)
        g_PowerOptOut = SetPowerThrottling(PROCESS_POWER_THROTTLING_EXECUTION_SPEED
                                           | PROCESS_POWER_THROTTLING_IGNORE_TIMER_RESOLUTION)
                     || SetPowerThrottling(PROCESS_POWER_THROTTLING_EXECUTION_SPEED);
    if (!g_TimePeriod && timeBeginPeriod(TIMER_RESOLUTION) == TIMERR_NOERROR)
        g_TimePeriod = 1;
}

void ReleaseTimerResolution(void)
{
    if (g_TimePeriod) {
        timeEndPeriod(TIMER_RESOLUTION);
        g_TimePeriod = 0;
    }
    if (g_PowerOptOut) {
        SetPowerThrottling(0);          /* the system decides again */
        g_PowerOptOut = 0;
    }
}

/* ---------------------------------------------------------------------
   Wine
   --------------------------------------------------------------------- */

/* Wine's Beep returns at once and sounds nowhere: the click's Beep source
   asks, so that Wine's users hear a tone all the same. */
int IsWine(void)
{
    HMODULE hNtdll = GetModuleHandleA("ntdll.dll");

    return hNtdll != NULL && GetProcAddress(hNtdll, "wine_get_version") != NULL;
}

void InitSystem(void)
{
    SearchSystemFolderOnly();
    g_SetProcessInfo = (SETPROCINFOPROC)(void (*)(void))Kernel32Proc("SetProcessInformation");
    g_UnderWine = IsWine();
}
