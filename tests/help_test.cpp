// F1: the help file beside the program, and the box when the viewer fails.
#include <doctest.h>

#include "fakes.h"
#include "window.h"

#include <delayimp.h>

#include <algorithm>
#include <cstring>

static std::string HelpPath(const std::string &app, const char *name = HELPFILE)
{
    std::vector<char> buf(HELPPATHSIZE + 8, '#');
    MakeHelpPath(buf.data(), HELPPATHSIZE, app.c_str(), name);
    REQUIRE(buf[HELPPATHSIZE] == '#');            // nothing written past the buffer
    REQUIRE(std::memchr(buf.data(), '\0', HELPPATHSIZE) != nullptr);
    return buf.data();
}

// A folder that stands in for the program's own, holding the given files.
struct ProgramFolder {
    std::string dir;
    explicit ProgramFolder(std::initializer_list<const char *> files)
    {
        char tmp[MAX_PATH];
        GetTempPathA(sizeof tmp, tmp);
        dir = std::string(tmp) + "tokvin-help-" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(dir.c_str(), nullptr);
        for (const char *f : files)
            CloseHandle(CreateFileA((dir + "\\" + f).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        std::strcpy(g_AppPath, (dir + "\\tokvin.exe").c_str());
    }
    ~ProgramFolder()
    {
        DeleteFileA((dir + "\\" HELPFILE).c_str());
        RemoveDirectoryA(dir.c_str());
    }
};

TEST_SUITE("help") {

TEST_CASE("the help files are looked for beside the program")
{
    CHECK(HelpPath("C:\\Tools\\prog.exe") == "C:\\Tools\\tokvin_d.hlp");
    CHECK(HelpPath("C:\\Tools\\prog.exe", HTMLHELPFILE) == "C:\\Tools\\tokvin_d.chm");
    CHECK(HelpPath("Z:\\a\\b.c\\tokvin.exe") == "Z:\\a\\b.c\\tokvin_d.hlp");
    CHECK(HelpPath("prog.exe") == "prog.exe\\tokvin_d.hlp");
    CHECK(HelpPath("") == "\\tokvin_d.hlp");
}

TEST_CASE("the longest program path fits")
{
    std::string dir(501, 'd');
    std::string app = "C:\\" + dir + "\\p.exe";    // 510 characters
    REQUIRE(app.size() == 510);
    CHECK(HelpPath(app) == "C:\\" + dir + "\\tokvin_d.hlp");

    std::string flat(511, 'x');                    // no backslash at all
    std::string p = HelpPath(flat, HTMLHELPFILE);
    CHECK(p == flat + "\\tokvin_d.chm");
    CHECK(p.size() == 524);
}

TEST_CASE("F1 without the compiled HTML Help opens the contents of the WinHelp file by its full path")
{
    Window w;
    ProgramFolder folder({HELPFILE});
    SendMessageA(w.h, WM_HELP, 0, 0);
    CHECK(fake.only("help") == std::vector<std::string>{"help " + folder.dir + "\\tokvin_d.hlp 3 0"});
    CHECK(fake.only("box").empty());

    fake.log.clear();
    OpenHelpFileX(w.h, 7);
    CHECK(fake.only("help") == std::vector<std::string>{"help " + folder.dir + "\\tokvin_d.hlp 1 7"});
}

TEST_CASE("when there is no help file or the viewer fails, the window's own box says so")
{
    Window w;
    SUBCASE("the viewer fails") {
        ProgramFolder folder({HELPFILE});
        fake.helpResult = FALSE;
        SendMessageA(w.h, WM_HELP, 0, 0);
        CHECK(fake.only("help").size() == 1);
    }
    SUBCASE("no help file at all: the viewer is not started") {
        ProgramFolder folder({});
        SendMessageA(w.h, WM_HELP, 0, 0);
        CHECK(fake.only("help").empty());
    }
    CHECK(fake.only("box") == std::vector<std::string>{
        "box Hilfe aufrufen: Die Hilfedatei tokvin_d.hlp wurde nicht gefunden!"});
    CHECK(fake.lastBoxOwner == w.h);
    CHECK(IsWindow(w.h));
}

TEST_CASE("Windows' own DLLs come from the system folder or the side-by-side store, never by the usual search")
{
    auto from = [](HMODULE h) {
        char path[MAX_PATH] = "";
        GetModuleFileNameA(h, path, sizeof path);
        return std::string(CharLowerA(path));
    };
    char sys[MAX_PATH];
    GetSystemDirectoryA(sys, sizeof sys);
    ResetFakes();
    SUBCASE("Windows 8 and later: the search flag") {}
    SUBCASE("before: the full path, and comctl32 6 by name from the store") { fake.searchFlagsRefused = true; }
    CHECK(from(LoadSystemLibrary("winmm.dll")) == std::string(CharLowerA(sys)) + "\\winmm.dll");
    CHECK(from(LoadSystemLibrary("comctl32.dll")).find("\\winsxs\\") != std::string::npos);
    // by the search flag, by the full path, or by name where the manifest
    // sends the name to the side-by-side store
    for (const std::string &load : fake.only("load"))
        CHECK((load.find(" 0x800") != std::string::npos || load.find(":\\") != std::string::npos
               || load == "load comctl32.dll 0"));
    CHECK(std::count(fake.log.begin(), fake.log.end(), "load comctl32.dll 0") == (fake.searchFlagsRefused ? 1 : 0));
}

TEST_CASE("a delay-load slot that the linker left read-only is written all the same")
{
    // as binutils 2.44 lays out the slots; the helper writes after this call
    FARPROC *slot = static_cast<FARPROC *>(VirtualAlloc(nullptr, 4096, MEM_COMMIT, PAGE_READONLY));
    DelayLoadInfo info = {};
    info.cb = sizeof info;
    info.ppfn = slot;
    CHECK(!__pfnDliNotifyHook2(dliStartProcessing, &info));
    MEMORY_BASIC_INFORMATION page;
    VirtualQuery(slot, &page, sizeof page);
    CHECK(page.Protect == PAGE_READWRITE);
    VirtualFree(slot, 0, MEM_RELEASE);
}

} // TEST_SUITE
