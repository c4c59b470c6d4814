// MIDI through the ALSA sequencer, against the test double in fakeseq.c
// (preloaded by CTest: this machine has no sequencer). What the double
// leaves untested: the kernel's own delivery and timing, and ports that go
// away while connected.
#include <doctest.h>

#include "gtk.h"

#include <algorithm>
#include <dlfcn.h>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

static std::vector<std::pair<long long, std::string>> ReadLog(const std::string &path)
{
    std::vector<std::pair<long long, std::string>> lines;
    std::ifstream f(path);
    long long t;
    std::string rest;
    while (f >> t && std::getline(f, rest))
        lines.push_back({t, rest.substr(1)});
    return lines;
}

static std::string Box(void)
{
    if (!g_hBox)
        return "";
    gchar *text = NULL;
    g_object_get(g_hBox, "text", &text, NULL);
    std::string s = std::string(gtk_window_get_title(GTK_WINDOW(g_hBox))) + ": " + text;
    g_free(text);
    gtk_window_destroy(GTK_WINDOW(g_hBox));
    g_hBox = NULL;
    return s;
}

static void Click(bool on)
{
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(g_hClick), on);
}

TEST_SUITE("midi") {

TEST_CASE("every note-on on the grid with its note-off 100 ms later, the bytes clamped, device 0 the first real port")
{
    std::string log = TestDir("midi-grid") + "/seq.log";
    setenv("FAKESEQ_LOG", log.c_str(), 1);
    Settings("[Tokvin]\nFlags=2\nTempo=300\nMIDIChannel=16\nMIDINote=200\nMIDIVelocity=0\n");
    OpenWindow();
    REQUIRE(gtk_widget_get_sensitive(g_hRadMidi));
    CHECK(Checked(g_hRadMidi));
    Click(true);
    WaitFor([&] { return ReadLog(log).size() >= 14; }, 5);
    Click(false);
    auto lines = ReadLog(log);
    REQUIRE(lines.size() >= 14);
    CHECK(lines[0].second == "client Tokvin");
    CHECK(lines[4].second == "connect 20:0");
    CHECK(lines.back().second == "disconnect 20:0");
    // Every note on the grid from the second on: the first waits for the
    // threads to start. The figures themselves are make bench's; a loaded
    // machine may hold a note a few ms.
    const long long ms = 1000000LL, slack = 5 * ms;
    long long second = 0;
    int pairs = 0;
    // the last note-off is the stop's
    for (size_t i = 5; i + 3 < lines.size(); i++) {
        if (lines[i].second != "note 9f 7f 01")
            continue;
        CHECK(lines[i + 1].second == "note 9f 7f 00");
        if (pairs == 1)
            second = lines[i].first;
        if (pairs >= 1) {
            CHECK(std::abs(lines[i + 1].first - lines[i].first - 100 * ms) < slack);
            CHECK(std::abs(lines[i].first - second - (pairs - 1) * 200 * ms) < slack);
        }
        pairs++;
    }
    CHECK(pairs >= 3);
    CloseWindow();
}

TEST_CASE("the error boxes: no such device, a failed connect, send and close, each with the sequencer's text")
{
    setenv("FAKESEQ_LOG", (TestDir("midi") + "/seq.log").c_str(), 1);
    Settings("[Tokvin]\nFlags=2\nMIDIDevice=5\n");
    OpenWindow();
    Click(true);
    CHECK(Box() == "Fehler beim Öffnen des MIDI-Geräts: No such device");
    Click(false);
    g_MidiDev = 0;
    setenv("FAKESEQ_FAIL", "connect", 1);
    Click(true);
    CHECK(Box() == "Fehler beim Öffnen des MIDI-Geräts: Device or resource busy");
    Click(false);
    setenv("FAKESEQ_FAIL", "send", 1);
    Click(true);
    CHECK(WaitFor([] { return g_hBox != NULL; }, 3));
    CHECK(Box() == "Fehler bei Note On: Broken pipe");
    CHECK_FALSE(WaitFor([] { return g_hBox != NULL; }, 0.5));     // once for the process
    setenv("FAKESEQ_FAIL", "disconnect", 1);
    Click(false);
    CHECK(Box() == "Fehler beim Schließen des MIDI-Geräts: Input/output error");
    CHECK(g_MidiOpen == 1);
    unsetenv("FAKESEQ_FAIL");
    // the connected device goes away: said once, the connection ended
    auto portExit = (void (*)(int, int))dlsym(RTLD_DEFAULT, "fakeseq_port_exit");
    bool doubled = portExit != nullptr;
    REQUIRE(doubled);
    portExit(20, 0);
    CHECK(WaitFor([] { return g_hBox != NULL; }, 3));
    CHECK(Box() == "MIDI-Fehler: No such device");
    CHECK(g_MidiOpen == 0);
    CloseWindow();
}

TEST_CASE("tokvin --midi-devices: the ports by number, the stored one marked; with none, one line")
{
    Settings("[Tokvin]\nMIDIDevice=1\n");
    auto list = [](const char *ports) {
        setenv("FAKESEQ_PORTS", ports, 1);
        gchar *out = NULL;
        int status = -1;
        g_spawn_command_line_sync(TEST_PROGRAM " --midi-devices", &out, NULL, &status, NULL);
        std::string s = out ? out : "";
        g_free(out);
        return std::make_pair(status, s);
    };
    auto two = list("14:0:Midi Through:Midi Through Port-0,20:0:FLUID Synth (1234):Synth input port");
    CHECK(two.first == 0);
    CHECK(two.second == "0 FLUID Synth (1234): Synth input port\n"
                        "1 Midi Through: Midi Through Port-0   <- Tokvin's MIDIDevice\n");
    auto none = list("");
    CHECK(none.first == 0);
    CHECK(none.second.rfind("No MIDI output", 0) == 0);
    CHECK(std::count(none.second.begin(), none.second.end(), '\n') == 1);
}

}
