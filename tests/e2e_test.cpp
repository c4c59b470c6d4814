// The metronome heard from outside: the real tokvin.exe under Wine with a
// MIDI output device of its own (the loopback driver) and its sound calls
// traced, driven through its window from this separate process.
#include <doctest.h>

#include "resource.h"
#include "session.h"

#include <mmsystem.h>

#include "delay.h"

namespace {

const unsigned long kNoteOn = 0x404B99, kNoteOff = 0x004B99;

std::vector<MidiEvent> Data(const std::vector<MidiEvent> &events, unsigned long value)
{
    std::vector<MidiEvent> out;
    for (const auto &e : events)
        if (e.kind == "data" && e.value == value)
            out.push_back(e);
    return out;
}

std::string ErrorText(MMRESULT code)
{
    char text[500] = "";
    midiOutGetErrorTextA(code, text, sizeof text);
    return text;
}

// Whether this Wine takes Windows 11's opt-out, power throttling off with
// the timer resolution kept: Wine 8 refuses it, Wine 10 takes it.
bool OptOutTaken()
{
    typedef BOOL (WINAPI *Set)(HANDLE, PROCESS_INFORMATION_CLASS, LPVOID, DWORD);
    Set set = reinterpret_cast<Set>(reinterpret_cast<void (*)(void)>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetProcessInformation")));
    PROCESS_POWER_THROTTLING_STATE state = {PROCESS_POWER_THROTTLING_CURRENT_VERSION,
        PROCESS_POWER_THROTTLING_EXECUTION_SPEED | PROCESS_POWER_THROTTLING_IGNORE_TIMER_RESOLUTION, 0};
    return set && set(GetCurrentProcess(), ProcessPowerThrottling, &state, sizeof state);
}

bool ClickChecked(Session &s)
{
    return SendDlgItemMessageA(s.app().h, BCLICK, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

} // namespace

TEST_SUITE("e2e") {

TEST_CASE("MIDI at 120 BPM: note-on on the beat, note-off 100 ms later, 500 ms apart")
{
    StoreSource(BITMIDI);
    Session s;
    CHECK(s.app().enabled(RAD_MIDI));
    CHECK(s.app().checked(RAD_MIDI));
    CHECK(s.midi().empty());                      // no device taken before the click
    s.post(BCLICK);
    REQUIRE(s.until([&] { return Data(s.midi(), kNoteOn).size() >= 5; }));
    s.post(BCLICK);
    REQUIRE(s.until([&] { return !s.midi().empty() && s.midi().back().kind == "close"; }));

    auto ev = s.midi();
    CHECK(ev.front().kind == "open");
    CHECK(ev.front().value == 0);
    auto on = Data(ev, kNoteOn), off = Data(ev, kNoteOff);
    REQUIRE(on.size() >= 5);
    for (size_t i = 1; i + 1 < on.size(); i++) {
        CAPTURE(i);
        CHECK(on[i].ms - on[i - 1].ms > 400);
        CHECK(on[i].ms - on[i - 1].ms < 600);
    }
    // over several beats the average is the tempo's
    double mean = (on[on.size() - 2].ms - on[0].ms) / (on.size() - 2);
    CHECK(mean > 490);
    CHECK(mean < 510);
    REQUIRE(off.size() >= on.size());
    for (size_t i = 0; i + 1 < on.size(); i++) {    // the stop may cut the last note short
        CAPTURE(i);
        CHECK(off[i].ms - on[i].ms > 80);
        CHECK(off[i].ms - on[i].ms < 250);
    }
    // the stop ends the last note, then releases the device
    CHECK(ev[ev.size() - 2].kind == "data");
    CHECK(ev[ev.size() - 2].value == kNoteOff);
    CHECK(s.boxes.empty());
    CHECK(s.app().close() == 0);
}

TEST_CASE("Audio: one sample play per beat from the program's own WAVE image, no MIDI device taken")
{
    StoreSource(0);
    Session s;
    s.post(BCLICK);
    REQUIRE(s.until([&] { return s.calls("sndPlaySoundA").size() >= 4; }));
    s.post(BCLICK);
    auto plays = s.calls("sndPlaySoundA");
    for (size_t i = 0; i < plays.size(); i++) {
        CAPTURE(i);
        CHECK(plays[i].arg1 == plays[0].arg1);
        CHECK(plays[i].arg2 == (SND_ASYNC | SND_MEMORY));
        if (i > 0 && i + 1 < plays.size()) {
            CHECK(plays[i].ms - plays[i - 1].ms > 400);
            CHECK(plays[i].ms - plays[i - 1].ms < 600);
        }
    }
    char image[16] = "";
    SIZE_T got = 0;
    REQUIRE(ReadProcessMemory(s.app().pi.hProcess, reinterpret_cast<LPCVOID>(static_cast<UINT_PTR>(plays[0].arg1)), image, 12, &got));
    CHECK(std::string(image, 4) == "RIFF");
    CHECK(std::string(image + 8, 4) == "WAVE");
    CHECK(s.midi().empty());
    CHECK(s.calls("midiOutShortMsg").empty());
    CHECK(s.boxes.empty());
}

TEST_CASE("speaker and MIDI together: under Wine the tone's image plays ten ticks after the note-on, not Beep")
{
    StoreSource(BITBEEP | BITMIDI);
    Session s;
    CHECK(s.app().checked(RAD_BEEP));
    CHECK(s.app().checked(RAD_MIDI));
    s.post(BCLICK);
    REQUIRE(s.until([&] { return s.calls("sndPlaySoundA").size() >= 3; }));
    auto tones = s.calls("sndPlaySoundA");
    auto sends = s.calls("midiOutShortMsg");
    char image[12] = "";
    SIZE_T got = 0;
    REQUIRE(ReadProcessMemory(s.app().pi.hProcess, reinterpret_cast<LPCVOID>(static_cast<UINT_PTR>(tones[0].arg1)), image, 12, &got));
    CHECK(std::string(image, 4) + std::string(image + 8, 4) == "RIFFWAVE");
    for (const Call &t : tones) {
        CHECK(t.arg1 == tones[0].arg1);
        CHECK(t.arg2 == (SND_ASYNC | SND_MEMORY));
        // the note-on just before this tone
        const Call *on = nullptr;
        for (const Call &c : sends)
            if (c.arg2 == kNoteOn && c.ms <= t.ms)
                on = &c;
        REQUIRE(on);
        CHECK(t.ms - on->ms >= 90);
        CHECK(t.ms - on->ms < 250);
    }
    CHECK(s.calls("Beep").empty());
}

TEST_CASE("switching from Audio to MIDI while the click runs")
{
    StoreSource(0);
    Session s;
    s.post(BCLICK);
    REQUIRE(s.until([&] { return s.calls("sndPlaySoundA").size() >= 2; }));
    s.post(RAD_MIDI);
    REQUIRE(s.until([&] { return Data(s.midi(), kNoteOn).size() >= 2; }));
    CHECK(ClickChecked(s));
    CHECK(s.app().checked(RAD_MIDI));
    CHECK_FALSE(s.app().checked(RAD_AUDIO));

    auto plays = s.calls("sndPlaySoundA");
    auto sends = s.calls("midiOutShortMsg");
    REQUIRE(!sends.empty());
    // the sample is cut off once, and no sample plays after the first note
    size_t stops = 0;
    for (const Call &p : plays) {
        if (p.arg1 == 0)
            stops++;
        else
            CHECK(p.ms <= sends.front().ms);
    }
    CHECK(stops == 1);
    CHECK(s.boxes.empty());
}

TEST_CASE("the MIDI device cannot be opened")
{
    SUBCASE("MIDI chosen: one open box, then the click runs and one send box follows") {
        StoreSource(BITMIDI);
        Session s({"TKLOOP_OPENFAIL"});
        s.post(BCLICK);
        REQUIRE(s.until([&] { return s.calls("midiOutShortMsg").size() >= 4; }));
        REQUIRE(s.boxes.size() == 2);
        CHECK(s.boxes[0].caption == "Fehler beim Öffnen des MIDI-Geräts");
        CHECK(s.boxes[0].text == ErrorText(MMSYSERR_ALLOCATED));
        CHECK(s.boxes[1].caption == "Fehler bei Note On");
        CHECK(s.midi().size() == 1);              // the failed open, nothing else reached it
        CHECK(ClickChecked(s));
    }
    SUBCASE("Audio chosen: no box at all, the device is not asked for") {
        StoreSource(0);
        Session s({"TKLOOP_OPENFAIL"});
        s.post(BCLICK);
        REQUIRE(s.until([&] { return s.calls("sndPlaySoundA").size() >= 3; }));
        CHECK(s.boxes.empty());
        CHECK(s.midi().empty());
    }
}

TEST_CASE("MIDI chosen while the click runs and the device cannot be opened: one box at a time")
{
    StoreSource(0);
    Session s({"TKLOOP_OPENFAIL"});
    s.post(BCLICK);
    REQUIRE(s.until([&] { return s.calls("sndPlaySoundA").size() >= 1; }));
    s.post(RAD_MIDI);
    Box first;
    REQUIRE(s.until([&] { return s.openBox(&first) != nullptr; }, 30000, true));
    CHECK(first.caption == "Fehler beim Öffnen des MIDI-Geräts");
    // while it is up the click goes on as before and nothing is sent
    size_t plays = s.calls("sndPlaySoundA").size();
    REQUIRE(s.until([&] { return s.calls("sndPlaySoundA").size() >= plays + 3; }, 30000, true));
    CHECK(s.calls("midiOutShortMsg").empty());
    Box still;
    CHECK(s.openBox(&still) != nullptr);
    CHECK(still.caption == first.caption);
    // Audio and MIDI again, the click off and on: still this one box and one open
    for (int id : {RAD_AUDIO, RAD_MIDI, BCLICK, BCLICK})
        s.post(id);
    PostMessageA(s.app().h, WM_VSCROLL, SB_LINEUP, 0);   // a last gesture, to know the others are done
    REQUIRE(s.until([&] { return s.app().title().rfind("121 BPM", 0) == 0; }, 30000, true));
    int open = 0;
    s.app().window("#32770", &open);
    CHECK(open == 1);
    CHECK(s.midi().size() == 1);
    // once it is answered, MIDI is the source and its first failed send says so, once
    REQUIRE(s.until([&] { return s.boxes.size() >= 2 && s.calls("midiOutShortMsg").size() >= 3; }));
    CHECK(s.boxes[1].caption == "Fehler bei Note On");
    CHECK(s.boxes.size() == 2);
    CHECK(s.app().checked(RAD_MIDI));
    CHECK(ClickChecked(s));
}

TEST_CASE("sends fail: one box for the whole run while the click goes on")
{
    StoreSource(BITMIDI);
    Session s({"TKLOOP_SENDFAIL"});
    s.post(BCLICK);
    Box first;
    REQUIRE(s.until([&] { return s.openBox(&first) != nullptr; }, 30000, true));
    CHECK(first.caption == "Fehler bei Note On");
    CHECK(first.text == ErrorText(MIDIERR_NOTREADY));
    // the box stays open, the beats go on reaching the device
    size_t before = Data(s.midi(), kNoteOn).size();
    REQUIRE(s.until([&] { return Data(s.midi(), kNoteOn).size() >= before + 3; }, 30000, true));
    CHECK(s.openBox() != nullptr);
    s.answerBoxes();
    REQUIRE(s.until([&] { return Data(s.midi(), kNoteOn).size() >= before + 6; }));
    CHECK(s.boxes.size() == 1);
    s.post(BCLICK);
    REQUIRE(s.until([&] { return !s.midi().empty() && s.midi().back().kind == "close"; }));
    CHECK(s.boxes.size() == 1);
}

TEST_CASE("the timer resolution is raised, and kept behind other windows, exactly while the click runs")
{
    StoreSource(0);
    Session s;
    // Beg1/End1: timeBeginPeriod(1)/timeEndPeriod(1); Pow: power throttling
    // of this process (class 4), opted out before the raise, given back after
    auto period = [&] {
        std::string seq;
        for (const Call &c : s.calls())
            if (c.name == "timeBeginPeriod" || c.name == "timeEndPeriod")
                seq += c.name.substr(4, 3) + std::to_string(c.arg1) + " ";
            else if (c.name == "SetProcessInformation")
                seq += std::string(c.arg1 == static_cast<UINT_PTR>(-1) && c.arg2 == 4 ? "Pow" : "?") + " ";
        return seq;
    };
    // Where the opt-out with the timer resolution (Windows 11's) is refused,
    // the speed alone (Windows 10's) is asked for, and Wine 8 refuses that
    // too: then there is nothing to give back
    const bool taken = OptOutTaken();
    const std::string on = taken ? "Pow Beg1 " : "Pow Pow Beg1 ", off = taken ? "End1 Pow " : "End1 ";
    CHECK(period().empty());                      // started, the click off: nothing
    s.post(BCLICK);
    REQUIRE(s.until([&] { return s.calls("sndPlaySoundA").size() >= 1; }));
    CHECK(period() == on);
    s.post(BCLICK);
    REQUIRE(s.until([&] { return period() == on + off; }));
    s.post(BCLICK);
    REQUIRE(s.until([&] { return s.calls("sndPlaySoundA").size() >= 2; }));
    CHECK(s.app().close() == 0);                  // closed while clicking
    CHECK(period() == on + off + on + off);
}

TEST_CASE("F1 loads HTML Help and its HTML engine from the system folder, never by a bare name")
{
    StoreSource(0);
    Session s;                                    // Wine's HTML engine is on (CMakeLists.txt), as on Windows
    s.app().pressF1();
    REQUIRE(s.until([&] { return s.app().window("HH Parent") != nullptr; }));
    int loaded = 0;
    for (const Call &c : s.calls())
        if (c.args.find("\"hhctrl.ocx\"") != std::string::npos || c.args.find("\"mshtml.dll\"") != std::string::npos) {
            CAPTURE(c.name + "(" + c.args + ")");
            CHECK(c.name == "LoadLibraryExA");
            CHECK(std::strtoull(c.args.substr(c.args.rfind(',') + 1).c_str(), nullptr, 16) == LOAD_LIBRARY_SEARCH_SYSTEM32);
            loaded++;
        }
    CHECK(loaded == 2);
    CHECK(s.app().close() == 0);
}

TEST_CASE("DLLs planted beside the program are never loaded, even where Wine is told to prefer them")
{
    StoreSource(BITMIDI);
    Installed folder({});
    std::wstring build = Widen(TokvinPath());
    build.erase(build.find_last_of(L'\\') + 1);
    folder.add(build + L"tests\\planted.dll", L"winmm.dll");
    folder.add(build + L"tests\\planted.dll", L"comctl32.dll");
    bool manifest = true;
    SUBCASE("with the manifest beside it") {}
    SUBCASE("the program copied alone") {
        manifest = false;
        DeleteFileW((folder.dir + L"tokvin.exe.manifest").c_str());
    }
    DllOverrides nativeFirst({{"winmm", "native,builtin"}, {"comctl32", "native,builtin"}});
    Session s({}, folder.exe());
    s.post(BCLICK);
    REQUIRE(s.until([&] { return Data(s.midi(), kNoteOn).size() >= 2; }));   // through Wine's own winmm
    CHECK((LoadedFrom(s.app().pi.dwProcessId, "comctl32.dll").find("\\winsxs\\") != std::string::npos) == manifest);
    int fromSystem = 0;
    for (const Call &c : s.calls("LoadLibraryExA"))
        if (c.args.find("\"winmm.dll\"") != std::string::npos || c.args.find("\"comctl32.dll\"") != std::string::npos)
            fromSystem += std::strtoull(c.args.substr(c.args.rfind(',') + 1).c_str(), nullptr, 16) == LOAD_LIBRARY_SEARCH_SYSTEM32;
    CHECK(fromSystem == 2);
    CHECK(s.app().close() == 0);
    for (const wchar_t *mark : {L"winmm.dll.loaded", L"comctl32.dll.loaded"}) {
        CHECK_FALSE(folder.has(mark));
        DeleteFileW((folder.dir + mark).c_str());
    }
}

TEST_CASE("closed while the MIDI open error is shown: saved once, no timer afterwards, exit code 0")
{
    StoreSource(BITMIDI);
    Session s({"TKLOOP_OPENFAIL"});
    s.post(BCLICK);
    Box box;
    REQUIRE(s.until([&] { return s.openBox(&box) != nullptr; }, 30000, true));
    CHECK(box.caption == "Fehler beim Öffnen des MIDI-Geräts");
    PostMessageA(s.app().h, WM_CLOSE, 0, 0);
    // the settings are saved before the window goes; a second save would
    // write this tempo back as 120
    REQUIRE(s.until([&] { return !IsWindowVisible(s.app().h); }, 30000, true));
    StoreDword("Tempo", 77);
    s.answerBoxes();
    CHECK(s.app().exitCode() == 0);
    DWORD tempo = 0;
    CHECK((ReadDword("Tempo", &tempo) && tempo == 77));
    CHECK(s.calls("timeBeginPeriod").empty());    // the click never started
    CHECK(s.calls("SetProcessInformation").empty());
    CHECK(s.boxes.size() == 1);
    CHECK(s.midi().size() == 1);                  // the failed open, nothing sent
}

TEST_CASE("no MIDI device: MIDI greyed, a stored MIDI source clicks as Audio")
{
    StoreSource(BITMIDI);
    {
        Session s({"TKLOOP_NODEVICE"});
        CHECK_FALSE(s.app().enabled(RAD_MIDI));
        CHECK_FALSE(s.app().checked(RAD_MIDI));
        CHECK(s.app().checked(RAD_AUDIO));
        s.post(BCLICK);
        REQUIRE(s.until([&] { return s.calls("sndPlaySoundA").size() >= 2; }));
        CHECK(s.boxes.empty());
        CHECK(s.app().close() == 0);
    }
    DWORD flags = 99;
    CHECK((ReadDword("Flags", &flags) && flags == 0));
}

} // TEST_SUITE
