// F1: the help file beside the program, and the box when the viewer fails.
#include <doctest.h>

#include "fakes.h"
#include "window.h"

#include <cstring>

static std::string HelpPath(const std::string &app, size_t size = HELPPATHSIZE)
{
    std::vector<char> buf(size + 8, '#');
    MakeHelpPath(buf.data(), size, app.c_str());
    REQUIRE(buf[size] == '#');                    // nothing written past the buffer
    REQUIRE(std::memchr(buf.data(), '\0', size) != nullptr);
    return buf.data();
}

TEST_SUITE("help") {

TEST_CASE("the help file is looked for beside the program")
{
    CHECK(HelpPath("C:\\Tools\\prog.exe") == "C:\\Tools\\tokvin_d.hlp");
    CHECK(HelpPath("Z:\\a\\b.c\\tokvin.exe") == "Z:\\a\\b.c\\tokvin_d.hlp");
    CHECK(HelpPath("prog.exe") == "prog.exe\\tokvin_d.hlp");
    CHECK(HelpPath("") == "\\tokvin_d.hlp");
}

TEST_CASE("the longest program path fits, and too small a buffer never overflows")
{
    std::string dir(501, 'd');
    std::string app = "C:\\" + dir + "\\p.exe";    // 510 characters
    REQUIRE(app.size() == 510);
    CHECK(HelpPath(app) == "C:\\" + dir + "\\tokvin_d.hlp");

    std::string flat(511, 'x');                    // no backslash at all
    std::string p = HelpPath(flat);
    CHECK(p == flat + "\\tokvin_d.hlp");
    CHECK(p.size() == 524);

    std::string shortBuf = HelpPath("C:\\Tools\\prog.exe", 16);
    CHECK(shortBuf.size() == 15);
    CHECK(shortBuf.substr(shortBuf.size() - 13) == "\\tokvin_d.hlp");
    CHECK(HelpPath("C:\\Tools\\prog.exe", 5).empty());
}

TEST_CASE("F1 opens the contents of the help file with its full path")
{
    Window w;
    std::string exe = g_AppPath;
    REQUIRE(exe.find('\\') != std::string::npos);
    SendMessageA(w.h, WM_HELP, 0, 0);
    std::string dir = exe.substr(0, exe.find_last_of('\\'));
    CHECK(fake.only("help") == std::vector<std::string>{"help " + dir + "\\tokvin_d.hlp 3 0"});
    CHECK(fake.only("box").empty());

    fake.log.clear();
    OpenHelpFileX(w.h, 7);
    CHECK(fake.only("help") == std::vector<std::string>{"help " + dir + "\\tokvin_d.hlp 1 7"});
}

TEST_CASE("when the viewer fails, the window's own box says so")
{
    Window w;
    fake.helpResult = FALSE;
    SendMessageA(w.h, WM_HELP, 0, 0);
    CHECK(fake.only("box") == std::vector<std::string>{
        "box Hilfe aufrufen: Die Hilfedatei tokvin_d.hlp wurde nicht gefunden!"});
    CHECK(fake.lastBoxOwner == w.h);
    CHECK(IsWindow(w.h));
}

} // TEST_SUITE
