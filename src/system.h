/* Tokvin - what the program asks of the Windows it runs on: Windows' own
   DLLs from the system folder only, the timer resolution and power
   throttling while the click runs, and whether Wine is the Windows. */
#ifndef TOKVIN_SYSTEM_H
#define TOKVIN_SYSTEM_H

#include <windows.h>

#define TIMER_RESOLUTION 1      /* ms asked of the system timer while clicking */

extern int g_TimePeriod;        /* the timer resolution is raised */
extern int g_PowerOptOut;       /* opted out of power throttling */
extern int g_UnderWine;         /* Wine, not Windows, runs the program */

/* SetProcessInformation (Windows 8 and later), or NULL */
typedef BOOL (WINAPI *SETPROCINFOPROC)(HANDLE, PROCESS_INFORMATION_CLASS, LPVOID, DWORD);
extern SETPROCINFOPROC g_SetProcessInfo;

/* First thing at start-up: the DLL search kept to the system folder, and
   what this Windows offers looked up. */
void InitSystem(void);

/* A DLL of Windows' own, from the system folder (or the side-by-side store) only */
HMODULE LoadSystemLibrary(const char *name);

/* While the click runs: 1 ms timer resolution, kept behind other windows */
void RaiseTimerResolution(void);
void ReleaseTimerResolution(void);

/* Wine's ntdll exports wine_get_version; Windows' never does */
int IsWine(void);

#endif
