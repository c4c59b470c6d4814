// The native edition's settings file, its help and its keys.
#include <doctest.h>

#include "gtk.h"

#include <csignal>
#include <cstdlib>
#include <sys/wait.h>
#include <unistd.h>

static const char *kDefaults =
    "[Tokvin]\nFlags=0\nTempo=120\nMIDIChannel=9\nMIDINote=75\nMIDIVelocity=64\nMIDIDevice=0\n";

TEST_SUITE("gtk-settings") {

TEST_CASE("a first start writes the six values at close; odd values leave their own default")
{
    Settings(NULL);
    OpenWindow();
    CloseWindow();
    CHECK(ReadConf() == kDefaults);

    const std::string longName = "[Tokvin]\nMIDIDeviceName=" + std::string(200, 'x') + "\n";
    const struct { const char *file, *saved; } cases[] = {
        // text, 2^40, a negative tempo, a channel whose low byte is 9
        {"[Tokvin]\nTempo=schnell\nMIDINote=1099511627776\nMIDIChannel=265\nFlags=2\n",
         "[Tokvin]\nFlags=0\nTempo=120\nMIDIChannel=265\nMIDINote=75\nMIDIVelocity=64\nMIDIDevice=0\n"},
        {"[Tokvin]\nTempo=-5\nMIDIVelocity=-1\nMIDIDevice=4294967295\nFlags=1\n",
         "[Tokvin]\nFlags=1\nTempo=12\nMIDIChannel=9\nMIDINote=75\nMIDIVelocity=64\nMIDIDevice=4294967295\n"},
        {"[Tokvin]\nTempo=500\n", "[Tokvin]\nFlags=0\nTempo=300\nMIDIChannel=9\nMIDINote=75\nMIDIVelocity=64\nMIDIDevice=0\n"},
        // the port's name kept as written, escapes and all; one longer than
        // any port's is none
        {"[Tokvin]\nMIDIDeviceName=\\sA\\\\B (12): C\\n\n",
         "[Tokvin]\nFlags=0\nTempo=120\nMIDIChannel=9\nMIDINote=75\nMIDIVelocity=64\nMIDIDevice=0\n"
         "MIDIDeviceName=\\sA\\\\B (12): C\\n\n"},
        {longName.c_str(), kDefaults},
        {"[Other]\nTempo=90\n", kDefaults},                 // a missing group
        {"Tempo=90 \x01\x02 kein Schlüsseldatei\n", kDefaults},   // no key file at all: replaced
    };
    for (const auto &c : cases) {
        CAPTURE(c.file);
        Settings(c.file);
        OpenWindow();
        CloseWindow();
        CHECK(ReadConf() == c.saved);
    }
}

TEST_CASE("a person with the Wine-based Tokvin's prefix finds five of its values")
{
    std::string wine = TestDir("data/tokvin/wine");
    g_file_set_contents((wine + "/user.reg").c_str(),
                        "WINE REGISTRY Version 2\n\n[Software\\\\Other] 1700000000\n\"Tempo\"=dword:00000050\n\n"
                        "[Software\\\\Tokvin] 1700000001\n#time=1da\n\"Flags\"=dword:00000001\n"
                        "\"Tempo\"=dword:00000079\n\"MIDIChannel\"=dword:00000000\n\"MIDINote\"=dword:0000003c\n"
                        "\"MIDIVelocity\"=dword:00000064\n\"MIDIDevice\"=dword:00000003\n\n", -1, NULL);
    Settings(NULL);
    OpenWindow();
    CHECK(Title() == "121 BPM - Tokvin 0.99");
    CloseWindow();
    CHECK(ReadConf() == "[Tokvin]\nFlags=1\nTempo=121\nMIDIChannel=0\nMIDINote=60\nMIDIVelocity=100\nMIDIDevice=0\n");
    CHECK(g_file_test((wine + "/user.reg").c_str(), G_FILE_TEST_EXISTS));     // left where it is
    // from then on the file counts, not the prefix
    Settings("[Tokvin]\nTempo=90\n");
    OpenWindow();
    CHECK(g_Tempo == 90);
    CloseWindow();
    TestDir("data");
}

TEST_CASE("a kill during the write leaves the old file whole")
{
    Settings(kDefaults);
    for (int i = 0; i < 20; i++) {
        pid_t pid = fork();
        if (pid == 0) {
            g_Tempo = 200;
            for (;;)
                SaveRecentData();
        }
        g_usleep(2000 + 1000 * i);
        kill(pid, SIGKILL);
        waitpid(pid, NULL, 0);
        std::string text = ReadConf();
        CHECK((text == kDefaults || text.find("Tempo=200\n") != std::string::npos));
        CHECK(text.size() >= strlen(kDefaults));
    }
}

TEST_CASE("F1 opens the help in the browser; without it, the box")
{
    char path[MAXPATH];
    REQUIRE(HelpPath(path, sizeof path));
    // the desktop's browser for HTML: one of the test's own that notes the page
    std::string apps = TestDir("data/applications"), mark = TestDir("browser") + "/opened";
    g_file_set_contents((apps + "/testbrowser.desktop").c_str(),
                        ("[Desktop Entry]\nType=Application\nName=Browser\nMimeType=text/html;\n"
                         "Exec=sh -c 'echo \"$1\" > " + mark + "' sh %u\n").c_str(), -1, NULL);
    g_file_set_contents((std::string(getenv("XDG_CONFIG_HOME")) + "/mimeapps.list").c_str(),
                        "[Default Applications]\ntext/html=testbrowser.desktop\n", -1, NULL);
    Settings(NULL);
    OpenWindow();
    OpenHelpFileX();
    gchar *opened = NULL;
    CHECK(WaitFor([&] { return g_file_get_contents(mark.c_str(), &opened, NULL, NULL); }));
    CHECK((opened && std::string(opened).find("/help/tokvin_d.html") != std::string::npos));
    g_free(opened);
    CHECK(g_hBox == NULL);
    CloseWindow();

    // the help gone: the box, with the file's name
    std::string moved = std::string(path) + ".away";
    rename(path, moved.c_str());
    OpenWindow();
    OpenHelpFileX();
    REQUIRE(g_hBox != NULL);
    CHECK(std::string(gtk_window_get_title(GTK_WINDOW(g_hBox))) == "Hilfe aufrufen");
    gchar *text = NULL;
    g_object_get(g_hBox, "text", &text, NULL);
    CHECK(std::string(text) == "Die Hilfedatei tokvin_d.html wurde nicht gefunden!");
    g_free(text);
    CloseWindow();
    rename(moved.c_str(), path);
}

// Real key events on the test's X display: GTK cannot make them itself.
static void Key(const char *key)
{
    std::string cmd = std::string("xdotool key --clearmodifiers ") + key;
    REQUIRE(system(cmd.c_str()) == 0);
}

TEST_CASE("keys: the focus in the field, Tab between field and switch, Enter and Esc change nothing")
{
    Settings(NULL);
    OpenWindow();
    std::string focus = "xdotool search --name '^120 BPM - Tokvin' windowfocus --sync";
    REQUIRE(system(focus.c_str()) == 0);
    Key("Up");
    CHECK(WaitFor([] { return g_Tempo == 121; }));
    Key("End a 5");
    CHECK(WaitFor([] { return Field() == "1215"; }));      // digits only, the caret at the end
    CHECK(g_Tempo == 300);
    Key("Tab");
    CHECK(WaitFor([] { return gtk_widget_has_focus(g_hClick); }));
    Key("Return Escape");
    Key("space");
    CHECK(WaitFor([] { return g_ClickOn == 1; }));
    Key("Return");
    Key("Tab");
    CHECK(WaitFor([] { return gtk_widget_has_focus(gtk_widget_get_first_child(g_hTempoEdit)); }));
    CHECK(g_ClickOn == 1);
    CHECK(g_hDlg != NULL);
    // the trackbar once clicked: its keys, Home only the thumb
    gtk_widget_grab_focus(g_hTrackTempo);
    Key("Page_Down Down");
    CHECK(WaitFor([] { return g_Tempo == 287; }));
    Key("Home");
    CHECK(WaitFor([] { return Thumb() == MINTEMPO; }));
    CHECK((g_Tempo == 287 && Field() == "287"));
    CloseWindow();
    CHECK(g_ClickOn == 0);
}

}
