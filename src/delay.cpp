/* Tokvin - delay times and metronome for musicians.
   Main module: program state, start-up and the dialog procedure, the delay
   table and tempo input, the click and its sound source, the stored
   settings and the help file. */
#include <windows.h>
#include <commctrl.h>
#include <mmsystem.h>
#include <htmlhelp.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include "delay.h"
#include "midi.h"
#include "system.h"
#include "clickwav.h"
#include "../res/resource.h"

/* ---------------------------------------------------------------------
   Program state
   --------------------------------------------------------------------- */

int         g_Tempo     = 120;
int         g_Wheel     = 0;
DWORD       g_Tick      = 500;
DWORD       g_OldTimer  = 0;
UINT_PTR    g_TimerID   = 0;
DWORD       g_MidiChan  = DFLT_MIDICHAN;
DWORD       g_MidiNote  = DFLT_MIDINOTE;
DWORD       g_MidiVelo  = DFLT_MIDIVELO;
DWORD       g_MidiDev   = DFLT_MIDIDEV;
int         g_MidiOpen  = 0;
int         g_ClickOn   = 0;
int         g_UseBeep   = 0;
int         g_UseMidi   = 0;
int         g_TicFlag   = 0;
int         g_TimerCnt  = 0;
const void *g_SndMem    = clickwav;
const void *g_ToneMem   = NULL;
char        g_AppPath[MAXPATH];
HINSTANCE   g_hInstance;
HWND        g_hTrackTempo;
HWND        g_hUpDown;

BEATTIME    g_BeatDue   = 0;
int         g_BeatFresh = 0;
int         g_NoteOn    = 0;

/* ---------------------------------------------------------------------
   Delay table
   --------------------------------------------------------------------- */

/* Cells in the order they are written */
static const int s_CellId[NCELLS] = { NOTE1, NOTE2, NOTE4, NOTE8, NOTE16, NOTE32,
                                      TRIPLET2, TRIPLET4, TRIPLET8, TRIPLET16 };

void WindowTitleSet(HWND hDlg, int tempo)
{
    char title[TITLESIZE];

    TitleText(title, sizeof title, tempo);
    SetWindowTextA(hDlg, title);
}

void dtor(HWND hDlg, int tempo, int settext, int setslider)
{
    char   text[8];
    double q;
    int    i;

    tempo = ClampTempo(tempo);
    g_Tempo = tempo;
    q = GetDelay(tempo);
    g_Tick = TickOf(tempo);

    if (settext) {
        /* raises EN_CHANGE at once: OnTempoEdit runs before we go on and
           brings the trackbar along */
        FormatText(text, sizeof text, "%d", tempo);
        SetDlgItemTextA(hDlg, TEMPOEDIT, text);
    }
    if (setslider)
        SendMessageA(g_hTrackTempo, TBM_SETPOS, TRUE, TRACKSUM - tempo);

    for (i = 0; i < NCELLS; i++)
        SetDlgItemTextA(hDlg, s_CellId[i], StrCalc(CellValue(q, i)));

    WindowTitleSet(hDlg, tempo);
}

/* ---------------------------------------------------------------------
   Tempo input
   --------------------------------------------------------------------- */

HWND InitTrackbar(HWND hDlg)
{
    RECT rc;
    HWND hTrack;

    /* The template keeps the trackbar's place as a hidden frame. Its
       rectangle is in the dialog's own units, which follow the dialog's
       font; the system font's units differ wherever other fonts are
       installed and would put the trackbar over the table. */
    GetWindowRect(GetDlgItem(hDlg, IDC_TRACKMARK), &rc);
    MapWindowPoints(NULL, hDlg, (POINT *)&rc, 2);
    hTrack = CreateWindowExA(0, TRACKBAR_CLASSA, "Trackbar Control",
                             WS_CHILD | WS_VISIBLE | TBS_AUTOTICKS | TBS_VERT | TBS_ENABLESELRANGE,
                             rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top,
                             hDlg, (HMENU)0, g_hInstance, NULL);
    SendMessageA(hTrack, TBM_SETRANGE, TRUE, MAKELPARAM(MINTEMPO, MAXTEMPO));
    SendMessageA(hTrack, TBM_SETPAGESIZE, 0, PAGEVAL);
    SendMessageA(hTrack, TBM_SETTICFREQ, TRACKTICFREQ, 0);
    return hTrack;
}

HWND InitUpDown(HWND hDlg)
{
    HWND hEdit = GetDlgItem(hDlg, TEMPOEDIT);
    HWND hUpDown;

    /* the buddy moves and sizes the control to the right edge of the field */
    hUpDown = CreateWindowExA(0, UPDOWN_CLASSA, "Updown Control",
                              WS_CHILD | WS_VISIBLE | UDS_ALIGNRIGHT | UDS_ARROWKEYS,
                              240, 64, 40, 256, hDlg, (HMENU)0, g_hInstance, NULL);
    SendMessageA(hUpDown, UDM_SETBUDDY, (WPARAM)hEdit, 0);
    SendMessageA(hUpDown, UDM_SETRANGE, 0, MAKELPARAM(MAXTEMPO, MINTEMPO));
    /* The arrows take their width from the field. With a font as wide as
       Tahoma, three digits no longer fit between the field's default
       margins and "120" would show as "20". */
    SendMessageA(hEdit, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, MAKELPARAM(1, 1));
    return hUpDown;
}

void OnTempoScroll(HWND hDlg, WPARAM wParam, LPARAM lParam)
{
    switch (LOWORD(wParam)) {
    case SB_LINEUP:   g_Tempo += 1;       break;
    case SB_LINEDOWN: g_Tempo -= 1;       break;
    case SB_PAGEUP:   g_Tempo += PAGEVAL; break;
    case SB_PAGEDOWN: g_Tempo -= PAGEVAL; break;
    case SB_THUMBPOSITION:
        /* the up-down reports its own position with this code: not ours */
        if ((HWND)lParam != g_hTrackTempo)
            return;
        [[fallthrough]];
    case SB_THUMBTRACK:
        g_Tempo = TRACKSUM - (short)HIWORD(wParam);
        break;
    default:
        return;
    }
    dtor(hDlg, g_Tempo, 1, 0);
}

void OnTempoWheel(HWND hDlg, WPARAM wParam)
{
    g_Tempo += WheelNotches(&g_Wheel, (short)HIWORD(wParam));
    dtor(hDlg, g_Tempo, 1, 0);
}

void OnTempoNotify(HWND hDlg, LPARAM lParam)
{
    const NMHDR *hdr = (const NMHDR *)lParam;

    if (hdr->hwndFrom == g_hUpDown && hdr->code == (UINT)UDN_DELTAPOS) {
        g_Tempo += ((const NMUPDOWN *)lParam)->iDelta;
        dtor(hDlg, g_Tempo, 1, 1);
    }
}

void OnTempoEdit(HWND hDlg)
{
    char text[8];

    if (GetDlgItemTextA(hDlg, TEMPOEDIT, text, sizeof text) == 0)
        return;
    dtor(hDlg, atoi(text), 0, 1);
}

/* ---------------------------------------------------------------------
   Click
   --------------------------------------------------------------------- */

/* An open error box leaves the window usable. Its open is the only one:
   what would open the device meanwhile (MIDI chosen again, the click
   switched off and on) waits for it, and MIDI chosen meanwhile is taken
   when it is done (s_MidiPending). */
static int s_MidiOpening;
static int s_MidiPending;

/* Opens the click's MIDI device, unless another open is under way. */
static void OpenClickMidi(void)
{
    if (s_MidiOpening)
        return;
    s_MidiOpening = 1;
    OpenMidi(g_MidiDev);
    s_MidiOpening = 0;
}

static void EndClickNote(void)
{
    g_NoteOn = 0;
    if (g_MidiOpen)
        MidiNoteOff(g_MidiNote, g_MidiChan);
}

void CALLBACK OnTimerClick(HWND hwnd, UINT message, UINT_PTR idEvent, DWORD dwTime)
{
    (void)hwnd;
    (void)message;
    if (idEvent != g_TimerID)
        return;

    if (BeatTest(dwTime, g_OldTimer, g_Tick, g_Tempo, g_BeatFresh, &g_BeatDue)) {
        g_BeatFresh = 0;
        if (g_NoteOn)           /* the last beat never got to its note-off */
            EndClickNote();
        g_TicFlag = 1;
        g_TimerCnt = 0;
        g_OldTimer = dwTime;
        /* while an open of the device waits on its error box, the beats
           send nothing: a send now would fail and pile a box on that box */
        if (g_UseMidi && !s_MidiOpening) {
            /* before the send: an error box lets later ticks run meanwhile */
            g_NoteOn = g_MidiOpen;
            MidiNoteOn(g_MidiNote, g_MidiVelo, g_MidiChan);
        }
    }
    if (!g_TicFlag)
        return;
    if (g_TimerCnt++ < SOUND_DELAY)
        return;

    g_TicFlag = 0;
    /* Wine's Beep sounds nowhere: there the speaker's tone comes from the
       sound player, at the same tick */
    if (g_UseBeep && g_UnderWine)
        sndPlaySoundA((LPCSTR)g_ToneMem, SND_ASYNC | SND_MEMORY);
    else if (g_UseBeep)
        Beep(BEEP_FREQ, BEEP_MS);
    else if (!g_UseMidi)
        sndPlaySoundA((LPCSTR)g_SndMem, SND_ASYNC | SND_MEMORY);
    if (g_NoteOn)
        EndClickNote();
}

/* The Beep source's tone as the sound player takes it: a RIFF/WAVE image
   of the sample's format, the tone in both channels, silence after it. */
#define TONE_DATA_BYTES (TONE_IMAGE_FRAMES * 4)
static BYTE s_ToneWav[44 + TONE_DATA_BYTES];

static BYTE *PutLE(BYTE *p, DWORD value, int bytes)
{
    int i;

    for (i = 0; i < bytes; i++)
        *p++ = (BYTE)(value >> (8 * i));
    return p;
}

void MakeToneImage(void)
{
    BYTE *p = s_ToneWav;
    int   i;

    memcpy(p, "RIFF", 4);
    p = PutLE(p + 4, sizeof s_ToneWav - 8, 4);
    memcpy(p, "WAVEfmt ", 8);
    p = PutLE(p + 8, 16, 4);
    p = PutLE(p, WAVE_FORMAT_PCM, 2);
    p = PutLE(p, 2, 2);                             /* channels */
    p = PutLE(p, TONE_RATE, 4);
    p = PutLE(p, TONE_RATE * 4, 4);                 /* bytes per second */
    p = PutLE(p, 4, 2);                             /* bytes per frame */
    p = PutLE(p, 16, 2);                            /* bits per sample */
    memcpy(p, "data", 4);
    p = PutLE(p + 4, TONE_DATA_BYTES, 4);
    for (i = 0; i < TONE_IMAGE_FRAMES; i++) {
        WORD v = (WORD)(i < TONE_FRAMES ? tonewave[i] : 0);
        p = PutLE(PutLE(p, v, 2), v, 2);
    }
    g_ToneMem = s_ToneWav;
}

UINT_PTR SetClick(void)
{
    UINT_PTR id;

    if (g_ClickOn) {
        if (g_TimerID)
            return g_TimerID;
        g_BeatFresh = 1;
        if (g_UseMidi)
            OpenClickMidi();
        /* the open error box lets the user switch the click again
           before we get here */
        if (!g_ClickOn || g_TimerID)
            return g_TimerID;
        RaiseTimerResolution();
        id = SetTimer(NULL, 0, TIMER_TICK, OnTimerClick);
        if (!id)
            ReleaseTimerResolution();
        return id;
    }

    if (g_TimerID)
        KillTimer(NULL, g_TimerID);
    g_TimerID = 0;
    ReleaseTimerResolution();
    g_NoteOn = 0;
    if (g_MidiOpen) {
        MidiNoteOff(g_MidiNote, g_MidiChan);
        CloseMidi();
    }
    return 0;
}

static void TakePendingMidi(HWND hDlg);

void OnClickSwitch(HWND hDlg)
{
    int on = (int)SendDlgItemMessageA(hDlg, BCLICK, BM_GETCHECK, 0, 0);

    /* a command that leaves the switch on (sent again, or arriving while an
       open error box of this start is up) must not start a second run */
    if (on && g_ClickOn)
        return;
    g_ClickOn = on;
    g_Tick = TickOf(g_Tempo);
    g_TimerID = SetClick();
    TakePendingMidi(hDlg);
}

/* ---------------------------------------------------------------------
   Sound source
   --------------------------------------------------------------------- */

/* Checking a radio button makes it a tab stop as well; the sound sources
   stay out of the tab order, which is the tempo field and the click switch. */
static void SetSourceCheck(HWND hDlg, int id, int checked)
{
    HWND hButton = GetDlgItem(hDlg, id);

    SendMessageA(hButton, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
    SetWindowLongA(hButton, GWL_STYLE, GetWindowLongA(hButton, GWL_STYLE) & ~WS_TABSTOP);
}

static void CheckSource(HWND hDlg, int off1, int off2, int on)
{
    SetSourceCheck(hDlg, off1, 0);
    SetSourceCheck(hDlg, off2, 0);
    SetSourceCheck(hDlg, on, 1);
}

void OnSourceAudio(HWND hDlg)
{
    s_MidiPending = 0;
    if (!g_UseBeep && !g_UseMidi)
        return;
    g_UseMidi = 0;
    g_UseBeep = 0;
    CheckSource(hDlg, RAD_BEEP, RAD_MIDI, RAD_AUDIO);
}

void OnSourceBeep(HWND hDlg)
{
    s_MidiPending = 0;
    if (g_UseBeep)
        return;
    g_UseBeep = 1;
    g_UseMidi = 0;
    sndPlaySoundA(NULL, SND_ASYNC | SND_MEMORY);
    CheckSource(hDlg, RAD_AUDIO, RAD_MIDI, RAD_BEEP);
}

static void ChooseMidi(HWND hDlg)
{
    g_UseBeep = 0;
    g_UseMidi = 1;
    CheckSource(hDlg, RAD_AUDIO, RAD_BEEP, RAD_MIDI);
}

/* MIDI chosen while an open's error box was up, once that open is done */
static void TakePendingMidi(HWND hDlg)
{
    if (s_MidiPending && !s_MidiOpening) {
        s_MidiPending = 0;
        ChooseMidi(hDlg);
    }
}

void OnSourceMidi(HWND hDlg)
{
    if (g_UseMidi || s_MidiPending)
        return;
    sndPlaySoundA(NULL, SND_ASYNC | SND_MEMORY);
    /* The device is only taken while MIDI is the source, and it is taken
       before MIDI sounds: while an open error box is up, the beats must not
       send to a device that is not open and pile a second box on the first.
       A later choice meanwhile wins. */
    if (g_ClickOn && !g_MidiOpen) {
        s_MidiPending = 1;
        OpenClickMidi();
        TakePendingMidi(hDlg);
        return;
    }
    ChooseMidi(hDlg);
}

/* ---------------------------------------------------------------------
   Stored settings
   --------------------------------------------------------------------- */

/* The values after "Flags", in the order they are written and read */
static void *const s_ValVar[NVALUES] = { &g_Tempo, &g_MidiChan, &g_MidiNote,
                                         &g_MidiVelo, &g_MidiDev };

int SaveRecentData(void)
{
    HKEY  hKey;
    DWORD disp;
    DWORD flags = 0;
    int   i;

    if (g_UseBeep)
        flags |= BITBEEP;
    if (g_UseMidi)
        flags |= BITMIDI;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, REGKEY, 0, NULL, 0, KEY_WRITE, NULL,
                        &hKey, &disp) != ERROR_SUCCESS)
        return 1;
    RegSetValueExA(hKey, "Flags", 0, REG_DWORD, (const BYTE *)&flags, MAXDATA);
    for (i = 0; i < NVALUES; i++)
        RegSetValueExA(hKey, g_ValName[i], 0, REG_DWORD, (const BYTE *)s_ValVar[i], MAXDATA);
    RegCloseKey(hKey);
    return 1;
}

/* Reads one value of at most MAXDATA bytes over the low bytes of *var.
   A missing value or one that is too long leaves *var as it was. */
static void QuerySetting(HKEY hKey, const char *name, void *var)
{
    BYTE  data[MAXDATA];
    DWORD type;
    DWORD size = MAXDATA;

    if (RegQueryValueExA(hKey, name, NULL, &type, data, &size) == ERROR_SUCCESS
        && size <= MAXDATA)
        memcpy(var, data, size);
}

int GetRecentData(void)
{
    HKEY  hKey;
    DWORD flags = 0;
    int   i;

    if (RegOpenKeyExA(HKEY_CURRENT_USER, REGKEY, 0, KEY_ALL_ACCESS, &hKey) != ERROR_SUCCESS)
        return 1;
    QuerySetting(hKey, "Flags", &flags);
    for (i = 0; i < NVALUES; i++)
        QuerySetting(hKey, g_ValName[i], s_ValVar[i]);
    RegCloseKey(hKey);
    g_UseBeep = (flags & BITBEEP) ? 1 : 0;
    g_UseMidi = (flags & BITMIDI) ? 1 : 0;
    return 1;
}

/* ---------------------------------------------------------------------
   Help
   --------------------------------------------------------------------- */

/* The file 'name' in the folder of the program at appPath. */
void MakeHelpPath(char *path, size_t size, const char *appPath, const char *name)
{
    size_t len, nameLen = strlen(name) + 1;
    char  *slash;

    if (size < nameLen + 1) {
        if (size)
            path[0] = '\0';
        return;
    }
    len = strlen(appPath);
    if (len > size - 1)
        len = size - 1;
    memcpy(path, appPath, len);
    path[len] = '\0';
    slash = strrchr(path, '\\');
    if (slash)
        len = (size_t)(slash - path);
    if (len + nameLen + 1 > size)       /* no room for the name: leave the path short */
        len = size - nameLen - 1;
    path[len] = '\\';
    memcpy(path + len + 1, name, nameLen);
}

static int FileExists(const char *path)
{
    DWORD attr = GetFileAttributesA(path);

    return attr != INVALID_FILE_ATTRIBUTES && !(attr & FILE_ATTRIBUTE_DIRECTORY);
}

/* The help files are opened through ANSI calls, and GetModuleFileNameA puts
   '?' for every letter of the program's path that the ANSI code page lacks
   (a user folder with a Polish or Russian name): the help would be reported
   missing although it is there. Such a path is handed over by its short
   form, where the volume keeps short names. Returns 0 where the path needs
   no such help or none can be had. */
static int ShortHelpPath(char *path, size_t size, const char *name)
{
    WCHAR  wide[MAXPATH], shortPath[MAXPATH];
    WCHAR *slash;
    DWORD  len;
    BOOL   lost = FALSE;

    len = GetModuleFileNameW(NULL, wide, MAXPATH);
    if (len == 0 || len >= MAXPATH
        || !WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, path, (int)size, NULL, &lost)
        || !lost)
        return 0;
    slash = wcsrchr(wide, L'\\');
    if (slash == NULL
        || !MultiByteToWideChar(CP_ACP, 0, name, -1, slash + 1, (int)(MAXPATH - (slash + 1 - wide))))
        return 0;
    len = GetShortPathNameW(wide, shortPath, MAXPATH);
    if (len == 0 || len >= MAXPATH)
        return 0;
    lost = FALSE;
    return WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, shortPath, -1, path, (int)size, NULL, &lost)
           && !lost;
}

/* The help file 'name' beside the program, by a path that opens it. */
static void HelpFilePath(char *path, size_t size, const char *name)
{
    if (!ShortHelpPath(path, size, name))
        MakeHelpPath(path, size, g_AppPath, name);
}

/* HTML Help is loaded when it is first wanted, so that Tokvin still starts
   where it is missing. */
typedef HWND (WINAPI *HTMLHELPPROC)(HWND, LPCSTR, UINT, DWORD_PTR);
static HTMLHELPPROC s_HtmlHelpA;
static HWND         s_hHelpWnd;     /* the HTML Help window, once opened */

static HTMLHELPPROC HtmlHelpProc(void)
{
    HMODULE hEngine, hLib;

    if (s_HtmlHelpA)
        return s_HtmlHelpA;
    /* HTML Help draws its pages with the system's HTML engine. Where that
       cannot be loaded (Wine set up without it) its window would show the
       contents beside blank pages: the WinHelp file is the better read. */
    if ((hEngine = LoadSystemLibrary("mshtml.dll")) == NULL)
        return NULL;
    if ((hLib = LoadSystemLibrary("hhctrl.ocx")) != NULL) {
        s_HtmlHelpA = (HTMLHELPPROC)(void (*)(void))GetProcAddress(hLib, "HtmlHelpA");
        if (!s_HtmlHelpA)
            FreeLibrary(hLib);
    }
    if (!s_HtmlHelpA)
        FreeLibrary(hEngine);
    return s_HtmlHelpA;
}

/* Windows 10 and 11 have no WinHelp viewer: the compiled HTML Help beside
   the program comes first. Its window has no owner, so the reader can put
   Tokvin in front of it and back; F1 again brings the same window forward. */
static int OpenHtmlHelp(void)
{
    char         path[HELPPATHSIZE];
    HTMLHELPPROC proc;

    if (s_hHelpWnd && IsWindow(s_hHelpWnd)) {
        if (IsIconic(s_hHelpWnd))
            ShowWindow(s_hHelpWnd, SW_RESTORE);
        SetForegroundWindow(s_hHelpWnd);
        return 1;
    }
    HelpFilePath(path, sizeof path, HTMLHELPFILE);
    if (!FileExists(path) || (proc = HtmlHelpProc()) == NULL)
        return 0;
    s_hHelpWnd = proc(NULL, path, HH_DISPLAY_TOC, 0);
    return s_hHelpWnd != NULL;
}

/* HTML Help runs its window on this thread: it has to go before the dialog. */
void CloseHelp(void)
{
    if (s_HtmlHelpA && s_hHelpWnd)
        s_HtmlHelpA(NULL, NULL, HH_CLOSE_ALL, 0);
    s_hHelpWnd = NULL;
}

void OpenHelpFileX(HWND hDlg, DWORD id)
{
    char path[HELPPATHSIZE];
    char msg[512];

    if (OpenHtmlHelp())
        return;
    /* A missing file is ours to report: the viewer would start only to
       say so in a box of its own, in English. */
    HelpFilePath(path, sizeof path, HELPFILE);
    if (!FileExists(path) || !WinHelpA(hDlg, path, id ? HELP_CONTEXT : HELP_CONTENTS, id)) {
        FormatText(msg, sizeof msg, "Die Hilfedatei %s wurde nicht gefunden!", HELPFILE);
        MessageBoxA(hDlg, msg, "Hilfe aufrufen", MB_ICONEXCLAMATION | MB_OK);
    }
}

/* ---------------------------------------------------------------------
   Start-up and dialog
   --------------------------------------------------------------------- */

BOOL InitializeApp(HWND hDlg, WPARAM wParam, LPARAM lParam)
{
    RECT rc;
    int  width, height;

    (void)wParam;
    (void)lParam;
    if (GetModuleFileNameA(NULL, g_AppPath, sizeof g_AppPath) == 0)
        g_AppPath[0] = '\0';
    g_AppPath[sizeof g_AppPath - 1] = '\0';
    GetRecentData();
    MakeToneImage();

    GetWindowRect(hDlg, &rc);
    width = rc.right - rc.left;
    height = rc.bottom - rc.top;
    SetWindowPos(hDlg, NULL, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                 (GetSystemMetrics(SM_CYSCREEN) - height) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOACTIVATE);

    if (midiOutGetNumDevs() == 0) {
        g_UseMidi = 0;
        EnableWindow(GetDlgItem(hDlg, RAD_MIDI), FALSE);
    }
    CheckDlgButton(hDlg, BCLICK, BST_UNCHECKED);
    SetSourceCheck(hDlg, RAD_MIDI, g_UseMidi);
    SetSourceCheck(hDlg, RAD_BEEP, g_UseBeep);
    SetSourceCheck(hDlg, RAD_AUDIO, !g_UseMidi && !g_UseBeep);
    SendMessageA(hDlg, WM_SETICON, ICON_SMALL,
                 (LPARAM)LoadIconA(g_hInstance, MAKEINTRESOURCEA(IDI_TOKVIN)));

    g_hTrackTempo = InitTrackbar(hDlg);
    g_hUpDown = InitUpDown(hDlg);
    dtor(hDlg, g_Tempo, 1, 1);
    return TRUE;
}

static void OnCommand(HWND hDlg, WPARAM wParam)
{
    switch (LOWORD(wParam)) {
    case TEMPOEDIT: if (HIWORD(wParam) == EN_CHANGE) OnTempoEdit(hDlg); break;
    case RAD_AUDIO: OnSourceAudio(hDlg); break;
    case RAD_BEEP:  OnSourceBeep(hDlg);  break;
    case RAD_MIDI:  OnSourceMidi(hDlg);  break;
    case BCLICK:    OnClickSwitch(hDlg); break;
    default:        break;              /* Enter and Esc change nothing */
    }
}

/* What every end of Tokvin does while the window is still there: the click
   off, with its last note ended and the device given back, the help
   closed, the settings stored. */
static void StopAndSave(void)
{
    g_ClickOn = 0;
    SetClick();
    CloseHelp();
    SaveRecentData();
}

static void OnClose(HWND hDlg)
{
    StopAndSave();
    EndDialog(hDlg, 0);
}

/* Shutdown, restart or sign-out: no close comes, and the process ends once
   this returns. An end that was called off changes nothing. */
static void OnEndSession(HWND hDlg, WPARAM ending)
{
    if (!ending)
        return;
    StopAndSave();
    CheckDlgButton(hDlg, BCLICK, BST_UNCHECKED);
}

INT_PTR CALLBACK DialogFunc(HWND hwndDlg, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_INITDIALOG: return InitializeApp(hwndDlg, wParam, lParam);
    case WM_COMMAND:    OnCommand(hwndDlg, wParam);             return FALSE;
    case WM_VSCROLL:    OnTempoScroll(hwndDlg, wParam, lParam); return FALSE;
    case WM_MOUSEWHEEL: OnTempoWheel(hwndDlg, wParam);          return FALSE;
    case WM_NOTIFY:     OnTempoNotify(hwndDlg, lParam);         return FALSE;
    case WM_HELP:       OpenHelpFileX(hwndDlg, 0);              return FALSE;
    case WM_CLOSE:      OnClose(hwndDlg);                       return TRUE;
    case WM_ENDSESSION: OnEndSession(hwndDlg, wParam);          return FALSE;
    default:            return FALSE;
    }
}

int WINAPI WinMain(HINSTANCE hinst, HINSTANCE hinstPrev, LPSTR lpCmdLine, int nCmdShow)
{
    INITCOMMONCONTROLSEX icc;

    (void)hinstPrev;
    (void)lpCmdLine;
    (void)nCmdShow;
    InitSystem();
    icc.dwSize = sizeof icc;
    icc.dwICC = 0xFFFFFFFF;             /* every class group */
    InitCommonControlsEx(&icc);
    g_hInstance = hinst;
    return (int)DialogBoxParamA(hinst, MAKEINTRESOURCEA(IDD_TOKVIN), NULL, DialogFunc, 0);
}
