// The main window and the delay table as a user sees them: start-up, the
// table for a tempo, and every way of entering a tempo.
#include <doctest.h>

#include "fakes.h"
#include "window.h"

#include <algorithm>
#include <cstdlib>
#include <utility>
#include <vector>

static const char *kTable120 =
    "[ 2000.0000][ 1000.0000][  500.0000][  250.0000][  125.0000][   62.5000]"
    "[  666.6667][  333.3333][  166.6667][   83.3333]";

TEST_SUITE("window") {

TEST_CASE("a first start shows 120 BPM, the table for it and the Audio source, centred")
{
    Window w;
    CHECK(w.title() == "120 BPM - Tokvin 0.99");
    CHECK(w.table() == kTable120);
    CHECK(w.text(TEMPOEDIT) == "120");
    CHECK(w.trackPos() == 192);
    CHECK(g_Tick == 500);
    CHECK(w.checked(RAD_AUDIO));
    CHECK_FALSE(w.checked(RAD_BEEP));
    CHECK_FALSE(w.checked(RAD_MIDI));
    CHECK_FALSE(w.checked(BCLICK));
    CHECK(w.enabled(RAD_MIDI));

    RECT rc;
    GetWindowRect(w.h, &rc);
    CHECK(rc.left == (GetSystemMetrics(SM_CXSCREEN) - (rc.right - rc.left)) / 2);
    CHECK(rc.top == (GetSystemMetrics(SM_CYSCREEN) - (rc.bottom - rc.top)) / 2);

    // the trackbar runs 12..300 with the fastest tempo at the top
    CHECK(SendMessageA(g_hTrackTempo, TBM_GETRANGEMIN, 0, 0) == 12);
    CHECK(SendMessageA(g_hTrackTempo, TBM_GETRANGEMAX, 0, 0) == 300);
    CHECK(SendMessageA(g_hTrackTempo, TBM_GETPAGESIZE, 0, 0) == 12);
    CHECK((GetWindowLongA(g_hTrackTempo, GWL_STYLE) & TBS_VERT) != 0);
    CHECK(reinterpret_cast<HWND>(SendMessageA(g_hUpDown, UDM_GETBUDDY, 0, 0)) == GetDlgItem(w.h, TEMPOEDIT));
    CHECK(SendMessageA(g_hUpDown, UDM_GETRANGE, 0, 0) == MAKELONG(300, 12));
    CHECK(SendMessageA(w.h, WM_GETICON, ICON_SMALL, 0) != 0);
}

TEST_CASE("the table follows the tempo with four decimals, right-aligned")
{
    Window w;
    struct Row { int tempo; DWORD tick; const char *table; };
    const Row rows[] = {
        {12, 5000, "[20000.0000][10000.0000][ 5000.0000][ 2500.0000][ 1250.0000][  625.0000]"
                   "[ 6666.6667][ 3333.3333][ 1666.6667][  833.3333]"},
        {130, 461, "[ 1846.1538][  923.0769][  461.5385][  230.7692][  115.3846][   57.6923]"
                   "[  615.3846][  307.6923][  153.8462][   76.9231]"},
        {300, 200, "[  800.0000][  400.0000][  200.0000][  100.0000][   50.0000][   25.0000]"
                   "[  266.6667][  133.3333][   66.6667][   33.3333]"},
    };
    for (const Row &r : rows) {
        CAPTURE(r.tempo);
        dtor(w.h, r.tempo, 1, 1);
        CHECK(g_Tempo == r.tempo);
        CHECK(g_Tick == r.tick);
        CHECK(w.table() == r.table);
        CHECK(w.text(TEMPOEDIT) == std::to_string(r.tempo));
        CHECK(w.trackPos() == 312 - r.tempo);
        CHECK(w.title() == std::to_string(r.tempo) + " BPM - Tokvin 0.99");
    }
}

TEST_CASE("tempi outside 12..300 are applied clamped, never divided by zero")
{
    Window w;
    const int low[] = {0, -7, 11, -2147483647 - 1};
    for (int t : low) {
        CAPTURE(t);
        dtor(w.h, t, 1, 1);
        CHECK(g_Tempo == 12);
        CHECK(w.title() == "12 BPM - Tokvin 0.99");
        CHECK(w.text(TEMPOEDIT) == "12");
    }
    const int high[] = {301, 500, 2147483647};
    for (int t : high) {
        CAPTURE(t);
        dtor(w.h, t, 1, 1);
        CHECK(g_Tempo == 300);
        CHECK(w.trackPos() == 12);
    }
}

TEST_CASE("typing into the tempo field")
{
    Window w;
    SUBCASE("each keystroke applies at once and the trackbar follows") {
        w.type("8");
        CHECK(g_Tempo == 12);
        CHECK(w.trackPos() == 300);
        CHECK(w.text(TEMPOEDIT) == "8");     // a typed value stays as typed
        w.type("80");
        CHECK(g_Tempo == 80);
        CHECK(w.trackPos() == 232);
        CHECK(w.title() == "80 BPM - Tokvin 0.99");
    }
    SUBCASE("500 applies 300 and stays in the field") {
        w.type("500");
        CHECK(g_Tempo == 300);
        CHECK(w.text(TEMPOEDIT) == "500");
        CHECK(w.text(NOTE1) == "  800.0000");
    }
    SUBCASE("clearing the field changes nothing") {
        w.type("");
        CHECK(g_Tempo == 120);
        CHECK(w.table() == kTable120);
    }
    SUBCASE("pasted text without digits applies 12 and stays") {
        w.type("abc");
        CHECK(g_Tempo == 12);
        CHECK(w.text(TEMPOEDIT) == "abc");
        w.type("  96xyz");
        CHECK(g_Tempo == 96);
    }
    SUBCASE("the field takes no more than seven characters into account") {
        w.type("000000099");
        CHECK(g_Tempo == 12);    // atoi("0000000") on the first seven
    }
}

TEST_CASE("trackbar keys: arrows step by one, pages by twelve, within 12..300")
{
    Window w;
    w.key(g_hTrackTempo, VK_UP);
    CHECK(g_Tempo == 121);
    CHECK(w.trackPos() == 191);
    CHECK(w.text(TEMPOEDIT) == "121");
    w.key(g_hTrackTempo, VK_DOWN);
    w.key(g_hTrackTempo, VK_DOWN);
    CHECK(g_Tempo == 119);
    dtor(w.h, 120, 1, 1);
    w.key(g_hTrackTempo, VK_PRIOR);
    CHECK(g_Tempo == 132);
    CHECK(w.trackPos() == 180);
    w.key(g_hTrackTempo, VK_NEXT);
    w.key(g_hTrackTempo, VK_NEXT);
    CHECK(g_Tempo == 108);
    CHECK(w.title() == "108 BPM - Tokvin 0.99");

    dtor(w.h, 300, 1, 1);
    w.scroll(SB_LINEUP);
    CHECK(g_Tempo == 300);
    w.scroll(SB_PAGEUP);
    CHECK(g_Tempo == 300);
    CHECK(w.trackPos() == 12);
    dtor(w.h, 12, 1, 1);
    w.scroll(SB_LINEDOWN);
    w.scroll(SB_PAGEDOWN);
    CHECK(g_Tempo == 12);
    CHECK(w.trackPos() == 300);
}

TEST_CASE("dragging the thumb")
{
    Window w;
    w.scroll(SB_THUMBTRACK, 12);
    CHECK(g_Tempo == 300);
    CHECK(w.text(TEMPOEDIT) == "300");
    w.scroll(SB_THUMBTRACK, 300);
    CHECK(g_Tempo == 12);
    w.scroll(SB_THUMBPOSITION, 192);
    CHECK(g_Tempo == 120);
    CHECK(w.table() == kTable120);

    // the up-down reports its own position with the same code: ignored
    w.scroll(SB_THUMBPOSITION, 40, g_hUpDown);
    CHECK(g_Tempo == 120);
    // a position beyond 32767 arrives as a negative 16-bit number
    w.scroll(SB_THUMBTRACK, 0xFFFF);
    CHECK(g_Tempo == 300);
}

TEST_CASE("Home and End move only the thumb; the next change puts it back")
{
    Window w;
    w.key(g_hTrackTempo, VK_HOME);
    CHECK(g_Tempo == 120);
    CHECK(w.table() == kTable120);
    CHECK(w.trackPos() == 12);
    w.key(g_hTrackTempo, VK_END);
    CHECK(w.trackPos() == 300);
    CHECK(g_Tempo == 120);
    w.wheel(120);
    CHECK(g_Tempo == 121);
    CHECK(w.trackPos() == 191);
}

TEST_CASE("the mouse wheel: one notch one BPM, fine wheels add up")
{
    Window w;
    SUBCASE("two half notches make one step") {
        w.wheel(60);
        CHECK(g_Tempo == 120);
        w.wheel(60);
        CHECK(g_Tempo == 121);
        CHECK(g_Wheel == 0);
        CHECK(w.trackPos() == 191);
    }
    SUBCASE("a reversal first uses up the remainder") {
        w.wheel(60);
        w.wheel(-120);
        CHECK(g_Tempo == 120);
        CHECK(g_Wheel == -60);
        w.wheel(-60);
        CHECK(g_Tempo == 119);
        CHECK(g_Wheel == 0);
    }
    SUBCASE("three notches at once") {
        w.wheel(360);
        CHECK(g_Tempo == 123);
        w.wheel(-120 * 3);
        CHECK(g_Tempo == 120);
    }
    SUBCASE("the ends hold") {
        dtor(w.h, 300, 1, 1);
        w.wheel(120);
        CHECK(g_Tempo == 300);
        dtor(w.h, 12, 1, 1);
        w.wheel(-120);
        CHECK(g_Tempo == 12);
    }
}

TEST_CASE("the up-down arrows and the arrow keys in the field")
{
    Window w;
    HWND edit = GetDlgItem(w.h, TEMPOEDIT);
    w.key(edit, VK_UP);
    CHECK(g_Tempo == 121);
    CHECK(w.text(TEMPOEDIT) == "121");
    CHECK(w.trackPos() == 191);
    w.key(edit, VK_DOWN);
    w.key(edit, VK_DOWN);
    CHECK(g_Tempo == 119);

    // an accelerated step is taken whole, and the ends hold
    w.upDown(20);
    CHECK(g_Tempo == 139);
    dtor(w.h, 300, 1, 1);
    w.key(edit, VK_UP);
    CHECK(g_Tempo == 300);
    dtor(w.h, 12, 1, 1);
    w.key(edit, VK_DOWN);
    CHECK(g_Tempo == 12);
    CHECK(w.text(TEMPOEDIT) == "12");

    // a click on the arrows of the control itself
    RECT rc;
    GetClientRect(g_hUpDown, &rc);
    LPARAM top = MAKELPARAM(rc.right / 2, rc.bottom / 4);
    SendMessageA(g_hUpDown, WM_LBUTTONDOWN, MK_LBUTTON, top);
    SendMessageA(g_hUpDown, WM_LBUTTONUP, 0, top);
    CHECK(g_Tempo == 13);
}

TEST_CASE("Enter and Esc leave the window open and change nothing")
{
    Window w;
    w.command(IDOK);
    w.command(IDCANCEL);
    SendMessageA(w.h, WM_KEYDOWN, VK_RETURN, 0);
    CHECK(IsWindowVisible(w.h));
    CHECK(g_Tempo == 120);
    CHECK(w.table() == kTable120);
}

TEST_CASE("the tab key visits only the tempo field and the click switch, whichever source is chosen")
{
    Window w;
    HWND edit = GetDlgItem(w.h, TEMPOEDIT);
    const int sources[] = {0, RAD_MIDI, RAD_BEEP, RAD_AUDIO, RAD_BEEP};
    for (int id : sources) {
        CAPTURE(id);
        if (id)
            w.click(id);
        HWND next = GetNextDlgTabItem(w.h, edit, FALSE);
        CHECK(next == GetDlgItem(w.h, BCLICK));
        CHECK(GetNextDlgTabItem(w.h, next, FALSE) == edit);
    }
}

} // TEST_SUITE

// The window as drawn: run at 96, 120, 144 and 192 DPI (TOKVIN_DPI names the
// scale the test was started at) with the common controls 6 that the
// program's manifest asks for.
TEST_SUITE("layout") {

namespace {

RECT ChildRect(HWND dlg, HWND c)
{
    RECT r;
    GetWindowRect(c, &r);
    MapWindowPoints(nullptr, dlg, reinterpret_cast<POINT *>(&r), 2);
    return r;
}

// Size of text in the control's own font.
SIZE TextSize(HWND c, const std::string &text)
{
    HDC dc = GetDC(c);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(c, WM_GETFONT, 0, 0)));
    SIZE size = {};
    GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(c, dc);
    return size;
}

int TextWidth(HWND c, const std::string &text)
{
    return TextSize(c, text).cx;
}

bool IsGroupBox(HWND c)
{
    char cls[32] = "";
    GetClassNameA(c, cls, sizeof cls);
    return lstrcmpiA(cls, "Button") == 0 && (GetWindowLongA(c, GWL_STYLE) & BS_TYPEMASK) == BS_GROUPBOX;
}

} // namespace

TEST_CASE("the scale the test runs at, and the common controls 6 of the manifest")
{
    Window w;
    HDC dc = GetDC(nullptr);
    int dpi = GetDeviceCaps(dc, LOGPIXELSY);
    ReleaseDC(nullptr, dc);
    const char *want = std::getenv("TOKVIN_DPI");
    CHECK(dpi == (want ? std::atoi(want) : dpi));
    // only the buttons of common controls 6 know their ideal size
    SIZE ideal = {};
    CHECK(SendDlgItemMessageA(w.h, BCLICK, BCM_GETIDEALSIZE, 0, reinterpret_cast<LPARAM>(&ideal)) != 0);
}

TEST_CASE("every value cell shows its number whole, the widest at 12 BPM included")
{
    Window w;
    for (const char *tempo : {"12", "120", "300"}) {
        CAPTURE(tempo);
        w.type(tempo);
        for (int id : {NOTE1, NOTE2, NOTE4, NOTE8, NOTE16, NOTE32, TRIPLET2, TRIPLET4, TRIPLET8, TRIPLET16}) {
            CAPTURE(id);
            HWND cell = GetDlgItem(w.h, id);
            std::string text = w.text(id);
            text.erase(0, text.find_first_not_of(' '));
            RECT rc;
            GetClientRect(cell, &rc);
            CHECK(TextSize(cell, text).cx <= rc.right);
            CHECK(TextSize(cell, text).cy <= rc.bottom);
        }
    }
}

TEST_CASE("no control overlaps another; each lies within the window")
{
    Window w;
    std::vector<HWND> controls;
    for (HWND c = GetWindow(w.h, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        if (IsWindowVisible(c) && !IsGroupBox(c) && GetDlgCtrlID(c) != IDC_RULE)
            controls.push_back(c);
    REQUIRE(controls.size() == 29);      // 27 of the template, trackbar and up-down
    RECT client;
    GetClientRect(w.h, &client);
    for (size_t i = 0; i < controls.size(); i++) {
        RECT a = ChildRect(w.h, controls[i]);
        int id = GetDlgCtrlID(controls[i]);
        CAPTURE(id);
        CHECK(a.left >= 0);
        CHECK(a.top >= 0);
        CHECK(a.right <= client.right);
        CHECK(a.bottom <= client.bottom);
        for (size_t j = i + 1; j < controls.size(); j++) {
            RECT b = ChildRect(w.h, controls[j]), both;
            if (!IntersectRect(&both, &a, &b))
                continue;
            // Rows that meet in the template may share a pixel: each edge
            // is rounded from dialog units on its own. The up-down joins
            // its field by covering the field's border (the digits are
            // checked to stay clear of it).
            bool buddy = (controls[i] == g_hUpDown || controls[j] == g_hUpDown)
                      && (id == TEMPOEDIT || GetDlgCtrlID(controls[j]) == TEMPOEDIT);
            int allowed = buddy ? GetSystemMetrics(SM_CXEDGE) : 1;
            int other = GetDlgCtrlID(controls[j]);
            CAPTURE(other);
            CHECK(std::min(both.right - both.left, both.bottom - both.top) <= allowed);
        }
    }
}

TEST_CASE("the click switch and the source buttons keep their texts whole")
{
    Window w;
    const std::pair<int, const char *> buttons[] = {
        {BCLICK, "Klick (1/4)"}, {RAD_AUDIO, "Audio"}, {RAD_BEEP, "Beep"}, {RAD_MIDI, "MIDI"}};
    for (const auto &b : buttons) {
        std::string text = b.second;
        CAPTURE(text);
        HWND c = GetDlgItem(w.h, b.first);
        CHECK(w.text(b.first) == text);
        RECT rc;
        GetClientRect(c, &rc);
        // beside the text: the radio's circle and a gap, or the push
        // button's raised frame and focus rectangle on either side
        int beside = b.first == BCLICK ? 2 * (2 * GetSystemMetrics(SM_CXEDGE) + 1)
                                       : GetSystemMetrics(SM_CXMENUCHECK) + TextWidth(c, " ");
        CHECK(TextWidth(c, text) + beside <= rc.right);
        CHECK(TextWidth(c, text) > 0);
    }
    CHECK((GetWindowLongA(GetDlgItem(w.h, BCLICK), GWL_STYLE) & BS_PUSHLIKE) != 0);
}

TEST_CASE("the tempo field shows every digit beside its arrows")
{
    Window w;
    HWND edit = GetDlgItem(w.h, TEMPOEDIT);
    RECT rc;
    GetClientRect(edit, &rc);
    LRESULT margins = SendMessageA(edit, EM_GETMARGINS, 0, 0);
    HDC dc = GetDC(edit);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(edit, WM_GETFONT, 0, 0)));
    for (const char *tempo : {"300", "120", "188"}) {
        CAPTURE(tempo);
        SIZE size;
        GetTextExtentPoint32A(dc, tempo, 3, &size);
        CHECK(LOWORD(margins) + size.cx + HIWORD(margins) <= rc.right);
        // and the arrows, which cover the field's right border, leave them clear
        POINT end = {LOWORD(margins) + size.cx, 0};
        MapWindowPoints(edit, w.h, &end, 1);
        RECT arrows;
        GetWindowRect(g_hUpDown, &arrows);
        MapWindowPoints(nullptr, w.h, reinterpret_cast<POINT *>(&arrows), 2);
        CHECK(end.x <= arrows.left);
        w.type(tempo);
        SetFocus(edit);                         // the dialog selects it all, caret at the end
        SendMessageA(edit, EM_SETSEL, 0, -1);
        CHECK(SendMessageA(edit, EM_GETFIRSTVISIBLELINE, 0, 0) == 0);
    }
    SelectObject(dc, old);
    ReleaseDC(edit, dc);
}

TEST_CASE("the trackbar stands in the tempo group below the field and covers no value")
{
    Window w;
    auto rect = [&](HWND c) {
        RECT r;
        GetWindowRect(c, &r);
        MapWindowPoints(nullptr, w.h, reinterpret_cast<POINT *>(&r), 2);
        return r;
    };
    RECT track = rect(g_hTrackTempo), group = rect(GetDlgItem(w.h, IDC_GRP_TEMPO));
    RECT field = rect(GetDlgItem(w.h, TEMPOEDIT)), mark = rect(GetDlgItem(w.h, IDC_TRACKMARK));
    CHECK(track.left >= group.left);
    CHECK(track.right <= group.right);
    CHECK(track.top >= field.bottom);
    CHECK(track.bottom <= group.bottom);
    // exactly the place the template keeps for it
    CHECK(track.left == mark.left);
    CHECK(track.top == mark.top);
    CHECK(track.right == mark.right);
    CHECK(track.bottom == mark.bottom);
    const int cells[] = {NOTE1, NOTE2, NOTE4, NOTE8, NOTE16, NOTE32, TRIPLET2, TRIPLET4, TRIPLET8, TRIPLET16};
    for (int id : cells) {
        CAPTURE(id);
        RECT cell = rect(GetDlgItem(w.h, id)), both;
        CHECK_FALSE(IntersectRect(&both, &cell, &track));
    }
}

} // TEST_SUITE
