// MIDI through the ALSA sequencer, against the test double in fakeseq.c
// (preloaded by CTest: this machine has no sequencer). What the double
// leaves untested: the kernel's own delivery at a queued note's time, its
// timer's resolution, and ports that go away while connected.
#include <doctest.h>

#include "gtk.h"

#include <algorithm>
#include <dlfcn.h>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <vector>

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

struct Line {
    long long   first;      // when Tokvin handed it over
    std::string second;     // what, without a queued note's time
    long long   at;         // a queued note's time, or 0
};

static std::vector<Line> ReadLog(const std::string &path)
{
    std::vector<Line> lines;
    std::ifstream f(path);
    long long t;
    std::string rest;
    while (f >> t && std::getline(f, rest)) {
        size_t at = rest.find(" @");
        lines.push_back({t, rest.substr(1, at == std::string::npos ? std::string::npos : at - 1),
                         at == std::string::npos ? 0 : std::stoll(rest.substr(at + 2))});
    }
    return lines;
}

static bool Has(const std::vector<Line> &lines, const std::string &what)
{
    return std::any_of(lines.begin(), lines.end(), [&](const Line &l) { return l.second == what; });
}

static long long Now(void)
{
    return g_get_monotonic_time() * 1000;      // the double's clock, in ns
}

static size_t Queued(const std::vector<Line> &lines)
{
    return std::count_if(lines.begin(), lines.end(), [](const Line &l) { return l.at != 0; });
}

// One run of the click with MIDI, until two notes are queued and then
// until during() holds: the log, and the box the start raised.
static std::pair<std::vector<Line>, std::string> Run(const char *name, const char *conf, const char *ports,
                                                     const char *connected = "",
                                                     std::function<bool(const std::string &)> during = nullptr)
{
    std::string log = TestDir(name) + "/seq.log";
    setenv("FAKESEQ_LOG", log.c_str(), 1);
    setenv("FAKESEQ_PORTS", ports, 1);
    setenv("FAKESEQ_CONNECTED", connected, 1);
    Settings(conf);
    OpenWindow();
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(g_hClick), TRUE);
    std::string box = Box();
    WaitFor([&] { return Queued(ReadLog(log)) >= 2 && (!during || during(log)); }, box.empty() ? 5 : 0);
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(g_hClick), FALSE);
    CloseWindow();
    return {ReadLog(log), box};
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
    WaitFor([&] { return Queued(ReadLog(log)) >= 12; }, 5);
    Click(false);
    auto lines = ReadLog(log);
    REQUIRE(lines.size() >= 14);
    CHECK(lines[0].second == "client Tokvin");
    CHECK(Has(lines, "queue timer 1:3"));       // the high-resolution timer
    CHECK(Has(lines, "connect 20:0"));
    CHECK(lines.back().second == "disconnect 20:0");
    // Each note on the queue at its time on the grid, whatever the load,
    // and from the second on handed over before it: the first is due as the
    // click starts.
    const long long ms = 1000000LL;
    long long first = 0;
    int pairs = 0;
    for (size_t i = 0; i < lines.size(); i++) {
        if (lines[i].second != "note 9f 7f 01")
            continue;
        REQUIRE(lines[i].at != 0);
        first = first ? first : lines[i].at;
        CHECK(std::llabs(lines[i].at - first - pairs * 200 * ms) < ms);
        CHECK((pairs == 0 || lines[i].first < lines[i].at));
        auto off = std::find_if(lines.begin() + i, lines.end(), [](const Line &l) { return l.second == "note 9f 7f 00"; });
        REQUIRE(off != lines.end());
        CHECK((off->at == 0 || std::llabs(off->at - lines[i].at - 100 * ms) < ms));
        pairs++;
    }
    CHECK(pairs >= 5);
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

TEST_CASE("the device chosen: the user's connection kept, the port by its name wherever it went, or none")
{
    const char *synth = "14:0:Midi Through:Midi Through Port-0,20:0:FLUID Synth (1234):Synth input port (1234:0)";
    const struct { const char *name, *conf, *ports, *connected, *box, *connections; } cases[] = {
        // the user's own connection: no box, the notes out, and it stays
        {"midi-user", "Flags=2\n", synth, "20:0", "", ""},
        // FluidSynth started again after a USB interface came: its client's
        // and its own numbers moved, its name without them is the same
        {"midi-moved", "Flags=2\nMIDIDevice=0\nMIDIDeviceName=FLUID Synth (1234): Synth input port (1234:0)\n",
         "14:0:Midi Through:Midi Through Port-0,20:0:USB MIDI:USB MIDI 1,131:0:FLUID Synth (5678):Synth input port (5678:0)",
         "", "", "connect 131:0;disconnect 131:0;"},
        // the named port is not there: nothing played to what has the number now
        {"midi-gone", "Flags=2\nMIDIDevice=0\nMIDIDeviceName=Qsynth: Qsynth MIDI\n", synth, "",
         "Fehler beim Öffnen des MIDI-Geräts: No such device", ""},
        // none: nothing connected, the notes to what is; MIDI there with no port at all
        {"midi-none", "Flags=2\nMIDIDeviceName=none\n", "", "", "", ""},
    };
    for (const auto &c : cases) {
        CAPTURE(c.name);
        auto run = Run(c.name, ("[Tokvin]\n" + std::string(c.conf)).c_str(), c.ports, c.connected);
        std::string connections;
        for (const auto &l : run.first)
            if (l.second.rfind("connect", 0) == 0 || l.second.rfind("disconnect", 0) == 0)
                connections += l.second + ";";
        CHECK(run.second == c.box);
        CHECK(connections == c.connections);
        CHECK((*c.box || Queued(run.first) >= 2));
    }
}

TEST_CASE("a tempo change, then the stop with a note-on handed over and not yet due: no note left sounding")
{
    bool slower = false;
    auto run = Run("midi-stop", "[Tokvin]\nFlags=2\nTempo=300\n", "20:0:Synth:Synth input port", "",
                   [&](const std::string &log) {
                       if (!slower && (slower = true))
                           OnTempoArrow(-40);
                       auto lines = ReadLog(log);
                       return Queued(lines) > 4 && lines.back().second == "note 99 4b 40" && lines.back().at > Now();
                   });
    auto &lines = run.first;
    auto at = [&](const char *what) {
        auto l = std::find_if(lines.begin(), lines.end(), [&](const Line &l) { return l.second == what; });
        return l == lines.end() ? -1 : l - lines.begin();
    };
    // the note-ons waiting taken back, then the note-off at once, then the
    // queue stopped and emptied
    long long taken = at("remove tag 1"), stop = at("queue stop");
    REQUIRE(taken > 0);
    CHECK(lines[taken + 1].second == "note 99 4b 00");
    CHECK(lines[taken + 1].at == 0);
    CHECK(stop == taken + 2);
    CHECK(at("remove all") == stop + 1);
    // every note-on that sounded (due before it was taken back) has a
    // note-off after it that sounded too (due before the stop, or at once)
    for (long long i = 0; i < taken; i++)
        if (lines[i].second == "note 99 4b 40" && lines[i].at <= lines[taken].first)
            CHECK(std::any_of(lines.begin() + i + 1, lines.begin() + taken + 2, [&](const Line &l) {
                return l.second == "note 99 4b 00" && (l.at == 0 || l.at <= lines[stop].first);
            }));
}

TEST_CASE("tokvin --midi-devices and --midi-device: the ports by number, the chosen one by its name; with none, one line")
{
    Settings("[Tokvin]\nMIDIDevice=1\n");
    auto tokvin = [](const char *args, const char *ports) {
        setenv("FAKESEQ_PORTS", ports, 1);
        gchar *out = NULL, *err = NULL;
        int status = -1;
        g_spawn_command_line_sync((std::string("env -u DISPLAY -u WAYLAND_DISPLAY " TEST_PROGRAM " ") + args).c_str(),
                                  &out, &err, &status, NULL);
        std::string s = out ? out : "";
        g_free(out);
        g_free(err);
        return std::make_pair(status, s);
    };
    const char *ports = "14:0:Midi Through:Midi Through Port-0,20:0:FLUID Synth (1234):Synth input port";
    auto two = tokvin("--midi-devices", ports);
    CHECK(two.first == 0);
    CHECK(two.second == "0 FLUID Synth (1234): Synth input port\n"
                        "1 Midi Through: Midi Through Port-0   <- Tokvin's MIDIDevice\n");
    auto none = tokvin("--midi-devices", "");
    CHECK(none.first == 0);
    CHECK(none.second.rfind("No MIDI output", 0) == 0);
    CHECK(std::count(none.second.begin(), none.second.end(), '\n') == 1);
    // the number stored with the port's name, which then counts where it
    // stands (with no display the window that would follow does not open)
    auto store = [&](const char *device) {
        return tokvin((std::string("--midi-device ") + device).c_str(), ports).second;
    };
    CHECK(store("0") == "Stored MIDIDevice=0, the port \"FLUID Synth (1234): Synth input port\" "
                        "(with no other Tokvin open, it stays)\n");
    CHECK(ReadConf().find("MIDIDevice=0\nMIDIDeviceName=FLUID Synth (1234): Synth input port\n") != std::string::npos);
    CHECK(tokvin("--midi-devices", "14:0:Midi Through:Midi Through Port-0,20:0:USB MIDI:USB MIDI 1,"
                                   "130:0:FLUID Synth (99):Synth input port").second
          == "0 USB MIDI: USB MIDI 1\n1 FLUID Synth (99): Synth input port   <- Tokvin's MIDIDevice\n"
             "2 Midi Through: Midi Through Port-0\n");
    // a number that names no port clears the name; none keeps the number
    CHECK(store("7") == "Stored MIDIDevice=7 (with no other Tokvin open, it stays)\n");
    CHECK(ReadConf().find("MIDIDevice=7\n") != std::string::npos);
    CHECK(ReadConf().find("MIDIDeviceName") == std::string::npos);
    CHECK(store("none") == "Stored MIDIDevice=none (with no other Tokvin open, it stays)\n");
    CHECK(ReadConf().find("MIDIDevice=7\nMIDIDeviceName=none\n") != std::string::npos);
    CHECK(tokvin("--midi-devices", ports).second.find("MIDIDevice is none") != std::string::npos);
}

}
