// Helpers for driving the real main window in-process; see window.h.
#include "window.h"

#include "fakes.h"

#include <cstring>

extern HMIDIOUT g_HdlMidiOut;
extern int g_HadBingo;

void FreshStart()
{
    g_Tempo = 120;
    g_Wheel = 0;
    g_Tick = 500;
    g_OldTimer = 0;
    g_TimerID = 0;
    g_MidiChan = DFLT_MIDICHAN;
    g_MidiNote = DFLT_MIDINOTE;
    g_MidiVelo = DFLT_MIDIVELO;
    g_MidiDev = DFLT_MIDIDEV;
    g_MidiOpen = 0;
    g_ClickOn = 0;
    g_UseBeep = 0;
    g_UseMidi = 0;
    g_TicFlag = 0;
    g_TimerCnt = 0;
    g_BeatDue = 0;
    g_BeatFresh = 0;
    g_NoteOn = 0;
    g_TimePeriod = 0;
    g_PowerOptOut = 0;
    g_SetProcessInfo = nullptr;         // as before Windows 8; tests put in the stand-in
    g_UnderWine = 0;                    // as on Windows; tests ask for Wine's ways
    g_HdlMidiOut = nullptr;
    g_HadBingo = 0;
    std::memset(g_AppPath, 0, sizeof g_AppPath);
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Tokvin");
    ResetFakes();
}

static HWND Open()
{
    static bool once;
    if (!once) {
        INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_WIN95_CLASSES};
        InitCommonControlsEx(&icc);
        WatchMessageBoxes();
        once = true;
    }
    g_hInstance = GetModuleHandleA(nullptr);
    return CreateDialogParamA(g_hInstance, MAKEINTRESOURCEA(IDD_TOKVIN), nullptr, DialogFunc, 0);
}

Window::Window()
{
    FreshStart();
    h = Open();
}

Window::Window(bool)
{
    h = Open();
}

Window::~Window()
{
    DestroyWindow(h);
}

std::string Window::text(int id) const
{
    char buf[256] = "";
    GetDlgItemTextA(h, id, buf, sizeof buf);
    return buf;
}

std::string Window::title() const
{
    char buf[256] = "";
    GetWindowTextA(h, buf, sizeof buf);
    return buf;
}

int Window::trackPos() const
{
    return static_cast<int>(SendMessageA(g_hTrackTempo, TBM_GETPOS, 0, 0));
}

bool Window::checked(int id) const
{
    return IsDlgButtonChecked(h, id) == BST_CHECKED;
}

bool Window::enabled(int id) const
{
    return IsWindowEnabled(GetDlgItem(h, id)) != FALSE;
}

std::string Window::table() const
{
    static const int ids[] = {NOTE1, NOTE2, NOTE4, NOTE8, NOTE16, NOTE32,
                              TRIPLET2, TRIPLET4, TRIPLET8, TRIPLET16};
    std::string out;
    for (int id : ids)
        out += "[" + text(id) + "]";
    return out;
}

void Window::key(HWND target, UINT vk) const
{
    SendMessageA(target, WM_KEYDOWN, vk, 1);
    SendMessageA(target, WM_KEYUP, vk, 0xC0000001);
}

void Window::scroll(int code, int pos, HWND sender) const
{
    SendMessageA(h, WM_VSCROLL, MAKEWPARAM(code, pos), reinterpret_cast<LPARAM>(sender));
}

void Window::wheel(int delta) const
{
    SendMessageA(h, WM_MOUSEWHEEL, MAKEWPARAM(0, delta), 0);
}

void Window::upDown(int delta) const
{
    NMUPDOWN nm = {};
    nm.hdr.hwndFrom = g_hUpDown;
    nm.hdr.code = UDN_DELTAPOS;
    nm.iDelta = delta;
    SendMessageA(h, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&nm));
}

void Window::type(const char *s) const
{
    SetDlgItemTextA(h, TEMPOEDIT, s);
}

void Window::command(int id) const
{
    SendMessageA(h, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(h, id)));
}

void Window::click(int id) const
{
    SendDlgItemMessageA(h, id, BM_CLICK, 0, 0);
}

void Window::close() const
{
    SendMessageA(h, WM_CLOSE, 0, 0);
}
