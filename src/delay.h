/* Tokvin - program state, constants and the procedures shared by its modules. */
#ifndef TOKVIN_DELAY_H
#define TOKVIN_DELAY_H

#include <windows.h>

#include "beat.h"
#include "system.h"

/* Click */
#define TIMER_TICK      10      /* ms between two timer callbacks */
#define SOUND_DELAY     10      /* ticks from the beat to the sound */
#define BEEP_FREQ       2160    /* Hz */
#define BEEP_MS         4

/* Stored settings */
#define BITBEEP         1
#define BITMIDI         2
#define MAXDATA         4
#define REGKEY          "Software\\Tokvin\\"

#define MAXPATH         512
#define HELPFILE        "tokvin_d.hlp"         /* WinHelp */
#define HTMLHELPFILE    "tokvin_d.chm"         /* compiled HTML Help */
#define HELPPATHSIZE    (MAXPATH + 13)         /* program path + "\tokvin_d.hlp" */

/* Program state */
extern int         g_Tempo;
extern int         g_Wheel;
extern DWORD       g_Tick;
extern DWORD       g_OldTimer;
extern UINT_PTR    g_TimerID;
extern DWORD       g_MidiChan;
extern DWORD       g_MidiNote;
extern DWORD       g_MidiVelo;
extern DWORD       g_MidiDev;
extern int         g_MidiOpen;
extern int         g_ClickOn;
extern int         g_UseBeep;
extern int         g_UseMidi;
extern int         g_TicFlag;
extern int         g_TimerCnt;
extern const void *g_SndMem;
extern const void *g_ToneMem;    /* the Beep source's tone under Wine */
extern char        g_AppPath[MAXPATH];
extern HINSTANCE   g_hInstance;
extern HWND        g_hTrackTempo;
extern HWND        g_hUpDown;
extern BEATTIME    g_BeatDue;     /* due time of the last beat */
extern int         g_BeatFresh;   /* the next beat is the first of a run */
extern int         g_NoteOn;      /* a MIDI click note still wants its note-off */

/* Start-up and dialog */
INT_PTR CALLBACK DialogFunc(HWND hwndDlg, UINT msg, WPARAM wParam, LPARAM lParam);
BOOL InitializeApp(HWND hDlg, WPARAM wParam, LPARAM lParam);

/* Delay table (its figures: beat.h) */
void        dtor(HWND hDlg, int tempo, int settext, int setslider);
void        WindowTitleSet(HWND hDlg, int tempo);

/* Tempo input */
HWND InitTrackbar(HWND hDlg);
HWND InitUpDown(HWND hDlg);
void OnTempoScroll(HWND hDlg, WPARAM wParam, LPARAM lParam);
void OnTempoWheel(HWND hDlg, WPARAM wParam);
void OnTempoNotify(HWND hDlg, LPARAM lParam);
void OnTempoEdit(HWND hDlg);

/* Click and sound source */
void     OnClickSwitch(HWND hDlg);
UINT_PTR SetClick(void);
void CALLBACK OnTimerClick(HWND hwnd, UINT message, UINT_PTR idEvent, DWORD dwTime);
void OnSourceAudio(HWND hDlg);
void OnSourceBeep(HWND hDlg);
void OnSourceMidi(HWND hDlg);
void MakeToneImage(void);

/* Settings */
int SaveRecentData(void);
int GetRecentData(void);

/* Help */
void MakeHelpPath(char *path, size_t size, const char *appPath, const char *name);
void OpenHelpFileX(HWND hDlg, DWORD id);
void CloseHelp(void);

#endif
