// The built tokvin.exe: its resources, read from the file, and the program
// started and closed the way a user does.
#include <doctest.h>

#include "exe.h"

#include <mmsystem.h>
#include "resource.h"

#include <cstring>
#include <memory>
#include <set>
#include <vector>

namespace {

const WORD kGerman = MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN);

struct Item {
    WORD id;
    WORD cls;          // predefined class atom
    const char *text;
    short x, y, cx, cy;
    DWORD style;
};

// the template's controls in creation order
const Item kItems[] = {
    {103, 0x82, "Note", 11, 18, 20, 8, 0x50020000},
    {104, 0x82, "1/1", 35, 18, 16, 9, 0x50020000},
    {105, 0x82, "1/2", 35, 27, 16, 9, 0x50020000},
    {106, 0x82, "1/4", 35, 36, 16, 8, 0x50020000},
    {107, 0x82, "1/8", 35, 45, 16, 9, 0x50020000},
    {108, 0x82, "1/16", 35, 54, 16, 9, 0x50020000},
    {109, 0x82, "1/32", 35, 63, 16, 9, 0x50020000},
    {110, 0x82, "Triole", 11, 80, 20, 8, 0x50020000},
    {111, 0x82, "1/2", 35, 80, 16, 9, 0x50020000},
    {112, 0x82, "1/4", 35, 89, 16, 9, 0x50020000},
    {113, 0x82, "1/8", 35, 98, 16, 9, 0x50020000},
    {114, 0x82, "1/16", 35, 107, 16, 9, 0x50020000},
    {129, 0x82, "", 7, 16, 86, 0, 0x50000007},
    {101, 0x80, "Delay (ms)", 6, 6, 94, 116, 0x50000007},
    {116, 0x82, "00000,0000", 53, 18, 41, 9, 0x50021002},
    {117, 0x82, "00000,0000", 53, 27, 41, 9, 0x50021002},
    {118, 0x82, "00000,0000", 53, 36, 41, 9, 0x50021002},
    {119, 0x82, "00000,0000", 53, 45, 41, 9, 0x50021002},
    {120, 0x82, "00000,0000", 53, 54, 41, 9, 0x50021002},
    {121, 0x82, "00000,0000", 53, 63, 41, 9, 0x50021002},
    {115, 0x82, "00000,0000", 53, 80, 41, 9, 0x50021002},
    {122, 0x82, "00000,0000", 53, 89, 41, 9, 0x50021002},
    {123, 0x82, "00000,0000", 53, 98, 41, 9, 0x50021002},
    {124, 0x82, "00000,0000", 53, 107, 41, 9, 0x50021002},
    {102, 0x80, "Tempo (BPM)", 105, 6, 53, 158, 0x50000007},
    {127, 0x81, "", 118, 18, 28, 12, 0x50832080},
    {136, 0x80, "Klick (1/4)", 14, 140, 40, 14, 0x50011003},
    {125, 0x82, "", 122, 32, 20, 128, 0x40000007},
    {130, 0x80, "Audio", 63, 132, 32, 10, 0x50020004},
    {139, 0x80, "Beep", 63, 142, 32, 10, 0x50000004},
    {138, 0x80, "MIDI", 63, 152, 32, 10, 0x50000004},
    {140, 0x80, "Klick", 6, 124, 94, 40, 0x50020007},
};

// Reads a classic dialog template field by field.
struct Reader {
    const BYTE *p;
    WORD word() { WORD w; std::memcpy(&w, p, 2); p += 2; return w; }
    DWORD dword() { DWORD d; std::memcpy(&d, p, 4); p += 4; return d; }
    std::string str()
    {
        std::string s;
        for (WORD c; (c = word()) != 0;)
            s += static_cast<char>(c < 0x100 ? c : '?');
        return s;
    }
    void align() { p = reinterpret_cast<const BYTE *>((reinterpret_cast<UINT_PTR>(p) + 3) & ~UINT_PTR(3)); }
};

struct Module {
    HMODULE h;
    Module() : h(LoadLibraryExA(TokvinPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)) { REQUIRE(h); }
    ~Module() { FreeLibrary(h); }
    const BYTE *find(LPCSTR type, LPCSTR name, DWORD *size = nullptr) const
    {
        HRSRC r = FindResourceExA(h, type, name, kGerman);
        if (!r)
            return nullptr;
        if (size)
            *size = SizeofResource(h, r);
        return static_cast<const BYTE *>(LockResource(LoadResource(h, r)));
    }
};

BOOL CALLBACK AddLang(HMODULE, LPCSTR, LPCSTR, WORD lang, LONG_PTR out)
{
    reinterpret_cast<std::set<WORD> *>(out)->insert(lang);
    return TRUE;
}

BOOL CALLBACK AddName(HMODULE h, LPCSTR type, LPSTR name, LONG_PTR out)
{
    EnumResourceLanguagesA(h, type, name, AddLang, out);
    return TRUE;
}

BOOL CALLBACK AddType(HMODULE, LPSTR type, LONG_PTR out)
{
    reinterpret_cast<std::vector<UINT_PTR> *>(out)->push_back(reinterpret_cast<UINT_PTR>(type));
    return TRUE;
}

} // namespace

TEST_SUITE("resources") {

TEST_CASE("dialog 100 is the classic template of the main window, control by control")
{
    Module m;
    const BYTE *t = m.find(RT_DIALOG, MAKEINTRESOURCEA(IDD_TOKVIN));
    REQUIRE(t);
    Reader r{t};
    CHECK(r.dword() == 0x90C80040);   // style; an extended template would start 1, 0xFFFF
    CHECK(r.dword() == 0);            // extended style
    WORD count = r.word();
    CHECK(count == 32);
    CHECK(r.word() == 82);
    CHECK(r.word() == 6);
    CHECK(r.word() == 164);
    CHECK(r.word() == 170);
    CHECK(r.word() == 0);             // no menu
    CHECK(r.word() == 0);             // the system's dialog class
    CHECK(r.str() == "999 BPM - Tokvin 0.90");
    CHECK(r.word() == 8);
    CHECK(r.str() == "Helv");

    REQUIRE(count == sizeof kItems / sizeof kItems[0]);
    for (const Item &want : kItems) {
        CAPTURE(want.id);
        r.align();
        CHECK(r.dword() == want.style);
        CHECK(r.dword() == 0);
        CHECK(static_cast<short>(r.word()) == want.x);
        CHECK(static_cast<short>(r.word()) == want.y);
        CHECK(static_cast<short>(r.word()) == want.cx);
        CHECK(static_cast<short>(r.word()) == want.cy);
        CHECK(r.word() == want.id);
        CHECK(r.word() == 0xFFFF);
        CHECK(r.word() == want.cls);
        CHECK(r.str() == want.text);
        CHECK(r.word() == 0);         // no creation data
    }
}

TEST_CASE("icon group 900 holds nine classic images, 16/32/48 px at 1, 4 and 8 bpp")
{
    Module m;
    const BYTE *dir = m.find(RT_GROUP_ICON, MAKEINTRESOURCEA(IDI_TOKVIN));
    REQUIRE(dir);
    Reader r{dir};
    CHECK(r.word() == 0);
    CHECK(r.word() == 1);
    REQUIRE(r.word() == 9);
    const int sizes[] = {16, 32, 48};
    const int depths[] = {1, 4, 8};
    for (int d = 0; d < 3; d++)
        for (int s = 0; s < 3; s++) {
            CAPTURE(sizes[s]);
            CAPTURE(depths[d]);
            BYTE w = r.p[0], h = r.p[1], colours = r.p[2];
            r.p += 4;
            WORD planes = r.word(), bits = r.word();
            DWORD bytes = r.dword();
            WORD id = r.word();
            (void)planes;
            CHECK(w == sizes[s]);
            CHECK(h == sizes[s]);
            CHECK(bits == depths[d]);
            CHECK(colours == (depths[d] == 8 ? 0 : 1 << depths[d]));

            DWORD size = 0;
            const BYTE *img = m.find(RT_ICON, MAKEINTRESOURCEA(id), &size);
            REQUIRE(img);
            CHECK(size == bytes);
            BITMAPINFOHEADER bih;
            std::memcpy(&bih, img, sizeof bih);
            CHECK(bih.biSize == 40);             // a bitmap, not a PNG
            CHECK(bih.biWidth == sizes[s]);
            CHECK(bih.biHeight == 2 * sizes[s]); // colour bits and the AND mask
            CHECK(bih.biBitCount == depths[d]);
            CHECK(bih.biCompression == BI_RGB);
            const DWORD stride = ((sizes[s] * depths[d] + 31) / 32) * 4;
            const DWORD mask = ((sizes[s] + 31) / 32) * 4;
            CHECK(size == 40 + 4 * (1u << depths[d]) + (stride + mask) * sizes[s]);
        }
}

TEST_CASE("only the dialog and the icon, in German (Germany); the manifest lies beside the program")
{
    Module m;
    std::vector<UINT_PTR> types;
    EnumResourceTypesA(m.h, AddType, reinterpret_cast<LONG_PTR>(&types));
    std::set<UINT_PTR> got(types.begin(), types.end());
    std::set<UINT_PTR> want = {reinterpret_cast<UINT_PTR>(RT_ICON), reinterpret_cast<UINT_PTR>(RT_DIALOG),
                               reinterpret_cast<UINT_PTR>(RT_GROUP_ICON)};
    CHECK(got == want);

    std::set<WORD> langs;
    for (UINT_PTR type : types)
        EnumResourceNamesA(m.h, reinterpret_cast<LPCSTR>(type), AddName, reinterpret_cast<LONG_PTR>(&langs));
    CHECK(langs == std::set<WORD>{kGerman});
}

} // TEST_SUITE

TEST_SUITE("program") {

TEST_CASE("started as a user starts it: the table for 120 BPM, closed with exit code 0")
{
    ClearSettings();
    Tokvin app;
    CHECK(app.title() == "120 BPM - Tokvin 0.99");
    CHECK(app.text(NOTE1) == " 2000.0000");
    CHECK(app.text(NOTE32) == "   62.5000");
    CHECK(app.text(TRIPLET2) == "  666.6667");
    CHECK(app.text(TRIPLET16) == "   83.3333");
    CHECK(app.text(TEMPOEDIT) == "120");
    // the manifest beside it asks for common controls 6, which live in
    // Windows' side-by-side store
    CHECK(LoadedFrom(app.pi.dwProcessId, "comctl32.dll").find("\\winsxs\\") != std::string::npos);

    // a tempo typed into the field, as another program can send it
    SendMessageA(GetDlgItem(app.h, TEMPOEDIT), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("130"));
    CHECK(app.title() == "130 BPM - Tokvin 0.99");
    CHECK(app.text(NOTE4) == "  461.5385");

    CHECK(app.close() == 0);
}

TEST_CASE("it opens with the stored tempo and source and stores them again at close")
{
    ClearSettings();
    StoreDword("Tempo", 96);
    StoreDword("Flags", 3);
    StoreDword("MIDIChannel", 265);
    const bool midi = midiOutGetNumDevs() > 0;
    {
        Tokvin app;
        CHECK(app.title() == "96 BPM - Tokvin 0.99");
        CHECK(app.text(TEMPOEDIT) == "96");
        CHECK(app.text(NOTE4) == "  625.0000");
        CHECK(app.checked(RAD_BEEP));
        CHECK_FALSE(app.checked(RAD_AUDIO));
        CHECK(app.enabled(RAD_MIDI) == midi);
        CHECK(app.checked(RAD_MIDI) == midi);

        SendMessageA(GetDlgItem(app.h, TEMPOEDIT), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("500"));
        CHECK(app.title() == "300 BPM - Tokvin 0.99");
        CHECK(app.close() == 0);
    }
    DWORD v = 0;
    CHECK((ReadDword("Tempo", &v) && v == 300));
    CHECK((ReadDword("Flags", &v) && v == (midi ? 3u : 1u)));
    CHECK((ReadDword("MIDIChannel", &v) && v == 265));
    CHECK((ReadDword("MIDIDevice", &v) && v == 0));

    Tokvin again;
    CHECK(again.title() == "300 BPM - Tokvin 0.99");
    CHECK(again.checked(RAD_BEEP));
}

TEST_CASE("F1 with the compiled HTML Help beside the program: one help window, closed with Tokvin")
{
    ClearSettings();
    Tokvin app;                                   // the build folder holds tokvin_d.chm
    app.pressF1();
    HWND help = nullptr;
    REQUIRE(WaitFor([&] { return (help = app.window("HH Parent")) != nullptr; }));
    CHECK(WindowText(help) == "Tokvin \x96 Delay-Zeiten und Metronom");
    CHECK(app.window("#32770") == nullptr);       // no box
    CHECK(FindTopWindow("Wine Help") == nullptr);  // and no WinHelp viewer
    // not owned by Tokvin, so either can be in front
    CHECK(GetWindow(help, GW_OWNER) == nullptr);

    app.pressF1();                                // again: the same window comes forward
    CHECK(WaitFor([&] { return GetForegroundWindow() == help; }));
    int count = 0;
    app.window("HH Parent", &count);
    CHECK(count == 1);

    CHECK(app.close() == 0);
    CHECK_FALSE(IsWindow(help));
}

TEST_CASE("F1 without the compiled HTML Help, or without an HTML engine to draw it: the WinHelp file")
{
    ClearSettings();
    std::unique_ptr<Installed> folder;
    std::unique_ptr<DllOverrides> engine;
    SUBCASE("only the WinHelp file beside the program") {
        folder.reset(new Installed({"tokvin_d.hlp", "tokvin_d.cnt"}));
    }
    SUBCASE("both files, Wine's HTML engine switched off as make run has it") {
        folder.reset(new Installed({"tokvin_d.hlp", "tokvin_d.cnt", "tokvin_d.chm"}));
        engine.reset(new DllOverrides({{"mshtml", ""}}));   // no Gecko there to draw with
    }
    SUBCASE("in a folder whose name the ANSI code page cannot hold") {
        folder.reset(new Installed({"tokvin_d.hlp", "tokvin_d.cnt"},
                                   L"\u0414\u043C\u0438\u0442\u0440\u0438\u0439"));   // Dmitriy, in Cyrillic
    }
    Tokvin app(folder->exe());
    app.pressF1();
    // the viewer's window, showing the title page of our file
    HWND help = nullptr;
    REQUIRE(WaitFor([&] {
        help = FindTopWindow("Wine Help");
        return help && FindChildWithText(help, "Tokvin \x96 Delay-Zeiten und Metronom");
    }));
    CHECK(FindChildWithText(help, "Kapitel 2: Das Tempo einstellen"));
    CHECK(FindTopWindow("ERROR") == nullptr);
    CHECK(app.window("HH Parent") == nullptr);

    DWORD pid = 0;
    GetWindowThreadProcessId(help, &pid);
    HANDLE viewer = OpenProcess(SYNCHRONIZE, FALSE, pid);
    PostMessageA(help, WM_CLOSE, 0, 0);
    CHECK(WaitForSingleObject(viewer, 20000) == WAIT_OBJECT_0);
    CloseHandle(viewer);

    CHECK(app.running());
    CHECK(app.title() == "120 BPM - Tokvin 0.99");
    CHECK(app.close() == 0);
}

TEST_CASE("F1 with no help file at all: Tokvin's own box, no viewer")
{
    ClearSettings();
    Installed folder({});
    Tokvin app(folder.exe());
    app.pressF1();
    HWND box = nullptr;
    REQUIRE(WaitFor([&] { return (box = app.window("#32770")) != nullptr; }));
    CHECK(WindowText(box) == "Hilfe aufrufen");
    CHECK(WindowText(GetDlgItem(box, 0xFFFF)) == "Die Hilfedatei tokvin_d.hlp wurde nicht gefunden!");
    CHECK(GetWindow(box, GW_OWNER) == app.h);
    CHECK(FindTopWindow("Wine Help") == nullptr);
    CHECK(FindTopWindow("ERROR") == nullptr);
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    REQUIRE(WaitFor([&] { return !IsWindow(box); }));
    CHECK(app.close() == 0);
}

} // TEST_SUITE
