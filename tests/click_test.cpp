// The metronome: the click switch, the timer callback with chosen clock
// readings, the three sound sources and the MIDI output with its boxes.
#include <doctest.h>

#include "fakes.h"
#include "midi.h"
#include "window.h"

#include <cmath>

namespace {

// Calls the timer callback for every step ms from 'from' to 'to' and
// returns what was played or sent, each entry led by its tick's time.
std::vector<std::string> Ticks(DWORD from, DWORD to, DWORD step = TIMER_TICK)
{
    std::vector<std::string> out;
    for (DWORD t = from; t <= to; t += step) {
        size_t before = fake.log.size();
        OnTimerClick(nullptr, WM_TIMER, g_TimerID, t);
        for (size_t i = before; i < fake.log.size(); i++)
            out.push_back(std::to_string(t) + " " + fake.log[i]);
    }
    return out;
}

std::vector<std::string> Only(const std::vector<std::string> &events, const std::string &what)
{
    std::vector<std::string> out;
    for (const auto &e : events)
        if (e.find(what) != std::string::npos)
            out.push_back(e);
    return out;
}

std::string ErrorText(MMRESULT code)
{
    char text[MIDIERRSIZE] = "";
    midiOutGetErrorTextA(code, text, sizeof text);
    return text;
}

const std::string kOn = "msg 99 4B 40 00";
const std::string kOff = "msg 99 4B 00 00";
const std::string kSample = "snd sample flags 5";
const std::string kStop = "snd stop flags 5";
const std::string kRaise = "timeBeginPeriod 1";
const std::string kRelease = "timeEndPeriod 1";

} // namespace

TEST_SUITE("click") {

TEST_CASE("the sample sounds ten ticks after each beat, every 500 ms at 120 BPM")
{
    Window w;
    w.click(BCLICK);
    CHECK(w.checked(BCLICK));
    // 1 ms timer resolution while the click runs; the timer has no window, 10 ms
    CHECK(fake.log == std::vector<std::string>{kRaise, "settimer 10"});
    CHECK(g_TimerID == fake.nextTimerId);
    auto ev = Ticks(1000, 2600);
    CHECK(ev == std::vector<std::string>{"1100 " + kSample, "1600 " + kSample, "2100 " + kSample,
                                         "2600 " + kSample});
    CHECK(fake.only("open").empty());           // the MIDI device is left alone

    w.click(BCLICK);
    CHECK_FALSE(w.checked(BCLICK));
    CHECK(fake.log[fake.log.size() - 2] == "killtimer 41");
    CHECK(fake.log.back() == kRelease);
    CHECK(g_TimerID == 0);
    fake.log.clear();
    OnTimerClick(nullptr, WM_TIMER, 41, 3000);  // a late callback of the old timer
    CHECK(fake.log.empty());
}

TEST_CASE("Beep: one 2160 Hz tone per beat, from the speaker on Windows, from the sound player under Wine")
{
    Window w;
    SUBCASE("Windows: the speaker, 4 ms") {
        w.click(RAD_BEEP);
        w.click(BCLICK);
        CHECK(Ticks(1000, 1700) == std::vector<std::string>{"1100 beep 2160 4", "1600 beep 2160 4"});
    }
    SUBCASE("Wine, whose Beep sounds nowhere: the tone's image at the same tick, and no Beep") {
        g_UnderWine = IsWine();                 // these tests run under Wine
        CHECK(g_UnderWine == 1);
        w.click(RAD_BEEP);
        w.click(BCLICK);
        CHECK(Ticks(1000, 1700) == std::vector<std::string>{"1100 snd tone flags 5", "1600 snd tone flags 5"});
        fake.log.clear();
        w.click(RAD_MIDI);                      // the tone is cut as the sample is
        CHECK(fake.log.front() == kStop);
    }
}

TEST_CASE("MIDI: note-on on the beat, note-off ten ticks later, device held while clicking")
{
    Window w;
    w.click(RAD_MIDI);
    CHECK(fake.only("open").empty());           // choosing MIDI alone takes no device
    w.click(BCLICK);
    CHECK(fake.log == std::vector<std::string>{kStop, "open 0 flags 0", kRaise, "settimer 10"});
    CHECK(g_MidiOpen == 1);
    auto ev = Ticks(1000, 1600);
    CHECK(ev == std::vector<std::string>{"1000 " + kOn, "1100 " + kOff, "1500 " + kOn, "1600 " + kOff});

    fake.log.clear();
    w.click(BCLICK);
    CHECK(fake.log == std::vector<std::string>{"killtimer 41", kRelease, kOff, "close"});
    CHECK(g_MidiOpen == 0);
}

TEST_CASE("both sources stored: every beat sounds the speaker and a MIDI note")
{
    Window w;
    g_UseBeep = g_UseMidi = 1;
    w.click(BCLICK);
    auto ev = Ticks(1000, 1100);
    CHECK(ev == std::vector<std::string>{"1000 " + kOn, "1100 beep 2160 4", "1100 " + kOff});
}

TEST_CASE("the beats stay on the exact grid of the tempo")
{
    Window w;
    SUBCASE("130 BPM over one minute: 130 beats, each on the first tick at or after its time") {
        w.type("130");
        w.click(BCLICK);
        auto beats = Only(Ticks(10000, 70000), "snd");
        REQUIRE(beats.size() == 130);
        for (size_t k = 0; k < beats.size(); k++) {
            double due = 10000 + k * 60000.0 / 130;
            DWORD tick = static_cast<DWORD>(std::ceil(due / 10) * 10);
            CAPTURE(k);
            CHECK(beats[k] == std::to_string(tick + 100) + " " + kSample);
        }
    }
    SUBCASE("298 BPM keeps 298 beats a minute with a 15.6 ms tick") {
        w.type("298");
        w.click(BCLICK);
        std::vector<std::string> beats;
        for (int i = 0; i * 15.625 <= 60000; i++) {
            auto ev = Ticks(static_cast<DWORD>(5000 + i * 15.625), static_cast<DWORD>(5000 + i * 15.625));
            beats.insert(beats.end(), ev.begin(), ev.end());
        }
        CHECK(beats.size() >= 298);
        CHECK(beats.size() <= 299);
    }
}

TEST_CASE("a tempo change counts from the last beat")
{
    Window w;
    w.click(BCLICK);
    Ticks(1000, 1690);                          // beats at 1000 and 1500
    w.type("240");                              // 250 ms from 1500
    CHECK(Only(Ticks(1700, 2100), "snd") == std::vector<std::string>{"1850 " + kSample, "2100 " + kSample});
    w.type("60");                               // 1000 ms from 2000
    CHECK(Only(Ticks(2110, 3200), "snd") == std::vector<std::string>{"3100 " + kSample});
}

TEST_CASE("a held-up thread: no burst of missed beats")
{
    Window w;
    w.click(RAD_MIDI);
    w.click(BCLICK);
    Ticks(1000, 1990);                          // beats at 1000, 1500
    SUBCASE("late by less than a beat: that beat comes late, the next is on time") {
        auto ev = Only(Ticks(2040, 2600), "4B 40");
        CHECK(ev == std::vector<std::string>{"2040 " + kOn, "2500 " + kOn});
    }
    SUBCASE("late by more than a beat: one beat now, the grid starts over") {
        auto ev = Only(Ticks(3210, 4300), "4B 40");
        CHECK(ev == std::vector<std::string>{"3210 " + kOn, "3710 " + kOn, "4210 " + kOn});
    }
    SUBCASE("a beat while the last one still waits for its note-off") {
        Ticks(2000, 2010);                      // beat at 2000, two ticks counted
        auto ev = Ticks(2700, 2800);            // held up: the 2500 beat comes at 2700
        CHECK(ev == std::vector<std::string>{"2700 " + kOff, "2700 " + kOn, "2800 " + kOff});
    }
}

TEST_CASE("starting again within a beat waits for the rest of it")
{
    Window w;
    w.click(BCLICK);
    Ticks(1000, 1000);                          // beat at 1000
    w.click(BCLICK);
    w.click(BCLICK);
    // the sound of the beat before the stop is still due; the new beat
    // waits until 500 ms after the last one
    CHECK(Only(Ticks(1200, 1700), "snd") == std::vector<std::string>{"1290 " + kSample, "1600 " + kSample});
    w.click(BCLICK);
    w.click(BCLICK);                            // long after the last beat
    CHECK(Only(Ticks(5000, 5100), "snd") == std::vector<std::string>{"5100 " + kSample});
}

TEST_CASE("changing the source while the click runs")
{
    Window w;
    w.click(BCLICK);
    Ticks(1000, 1040);
    SUBCASE("Audio to MIDI cuts the sample, takes the device, sounds from the next beat") {
        fake.log.clear();
        w.click(RAD_MIDI);
        CHECK(fake.log == std::vector<std::string>{kStop, "open 0 flags 0"});
        CHECK(w.checked(RAD_MIDI));
        CHECK_FALSE(w.checked(RAD_AUDIO));
        auto ev = Ticks(1050, 1600);
        CHECK(ev == std::vector<std::string>{"1500 " + kOn, "1600 " + kOff});
    }
    SUBCASE("away from MIDI between note-on and note-off: the note still ends") {
        w.click(RAD_MIDI);
        Ticks(1050, 1500);                      // note-on at 1500
        fake.log.clear();
        w.click(RAD_AUDIO);
        CHECK(fake.log.empty());                // choosing Audio stops nothing
        auto ev = Ticks(1510, 2100);
        CHECK(ev == std::vector<std::string>{"1600 " + kSample, "1600 " + kOff, "2100 " + kSample});
        fake.log.clear();
        w.click(BCLICK);
        CHECK(fake.log == std::vector<std::string>{"killtimer 41", kRelease, kOff, "close"});
    }
    SUBCASE("Beep cuts a sounding sample; the chosen source again changes nothing") {
        fake.log.clear();
        w.click(RAD_BEEP);
        CHECK(fake.log == std::vector<std::string>{kStop});
        w.click(RAD_BEEP);
        CHECK(fake.log.size() == 1);
        CHECK(w.checked(RAD_BEEP));
        CHECK_FALSE(w.checked(RAD_AUDIO));
        CHECK_FALSE(w.checked(RAD_MIDI));
    }
}

TEST_CASE("the source buttons keep exactly one check mark")
{
    Window w;
    const int ids[] = {RAD_AUDIO, RAD_BEEP, RAD_MIDI, RAD_BEEP, RAD_AUDIO, RAD_MIDI, RAD_MIDI};
    for (int id : ids) {
        w.click(id);
        CAPTURE(id);
        CHECK(w.checked(id));
        CHECK(w.checked(RAD_AUDIO) + w.checked(RAD_BEEP) + w.checked(RAD_MIDI) == 1);
        CHECK(g_UseBeep == (id == RAD_BEEP));
        CHECK(g_UseMidi == (id == RAD_MIDI));
    }
}

TEST_CASE("stored MIDI values out of range sound as the nearest valid note and stay stored as they are")
{
    Window w;
    g_MidiChan = 265;
    g_MidiNote = 200;
    g_MidiVelo = 256;               // its low byte alone would be a note-off
    w.click(RAD_MIDI);
    w.click(BCLICK);
    CHECK(Ticks(1000, 1100) == std::vector<std::string>{"1000 msg 9F 7F 7F 00", "1100 msg 9F 7F 00 00"});
    w.close();
    DWORD v = 0, size = sizeof v;
    CHECK(RegGetValueA(HKEY_CURRENT_USER, "Software\\Tokvin", "MIDIChannel", RRF_RT_REG_DWORD, nullptr, &v, &size) == ERROR_SUCCESS);
    CHECK(v == 265);
    CHECK(g_MidiNote == 200);
    CHECK(g_MidiVelo == 256);
}

TEST_CASE("MIDI errors")
{
    Window w;
    SUBCASE("no device at all: Audio and Beep click without any box") {
        fake.numDevs = 0;
        fake.openResult = MMSYSERR_BADDEVICEID;
        Window w2(true);
        CHECK_FALSE(w2.enabled(RAD_MIDI));
        w2.click(BCLICK);
        Ticks(1000, 1200);
        w2.click(RAD_BEEP);
        Ticks(1210, 1700);
        w2.click(BCLICK);
        CHECK(fake.only("box").empty());
        CHECK(fake.only("open").empty());
    }
    SUBCASE("the open fails: one box before the click starts, then one send box") {
        fake.openResult = MMSYSERR_BADDEVICEID;
        w.click(RAD_MIDI);
        fake.log.clear();
        w.click(BCLICK);
        CHECK(fake.log == std::vector<std::string>{
            "open 0 flags 0", "box Fehler beim Öffnen des MIDI-Geräts: " + ErrorText(MMSYSERR_BADDEVICEID),
            kRaise, "settimer 10"});
        CHECK(fake.lastBoxOwner == nullptr);
        CHECK(g_MidiOpen == 0);
        Ticks(1000, 3000);
        CHECK(fake.only("box") .size() == 2);
        CHECK(fake.only("box")[1] == "box Fehler bei Note On: " + ErrorText(MMSYSERR_INVALHANDLE));
        CHECK(fake.only("msg").size() == 5);    // note-ons only: no device, no note-off
        fake.log.clear();
        w.click(BCLICK);
        CHECK(fake.log == std::vector<std::string>{"killtimer 41", kRelease});
        // the next start tries the device again
        w.click(BCLICK);
        CHECK(fake.only("open").size() == 1);
    }
    SUBCASE("a failing send: one box for the whole run while the timer goes on") {
        fake.sendResult = MIDIERR_NOTREADY;
        int nested = 0;
        fake.inBox = [&](const std::string &) {
            // the box's own message loop keeps delivering the timer
            auto ev = Ticks(1010, 1600);
            nested = static_cast<int>(ev.size());
        };
        w.click(RAD_MIDI);
        w.click(BCLICK);
        Ticks(1000, 1000);
        CHECK(fake.only("box") == std::vector<std::string>{"box Fehler bei Note On: " + ErrorText(MIDIERR_NOTREADY)});
        CHECK(nested == 3);                     // note-off 1100, note-on 1500, note-off 1600
        Ticks(1610, 5000);
        CHECK(fake.only("box").size() == 1);
        CHECK(fake.only("killtimer").empty());
    }
    SUBCASE("a failing note-off has its own caption") {
        w.click(RAD_MIDI);
        w.click(BCLICK);
        Ticks(1000, 1090);
        fake.sendResult = MMSYSERR_ERROR;
        Ticks(1100, 1100);
        CHECK(fake.only("box") == std::vector<std::string>{"box Fehler bei Note Off: " + ErrorText(MMSYSERR_ERROR)});
    }
    SUBCASE("the close fails: box, the device counts as open, the next start opens anew") {
        w.click(RAD_MIDI);
        w.click(BCLICK);
        fake.closeResult = MMSYSERR_NOMEM;
        w.click(BCLICK);
        CHECK(fake.only("box") == std::vector<std::string>{"box Fehler beim Schließen des MIDI-Geräts: " + ErrorText(MMSYSERR_NOMEM)});
        CHECK(g_MidiOpen == 1);
        fake.closeResult = MMSYSERR_NOERROR;
        fake.log.clear();
        w.click(BCLICK);
        CHECK(fake.only("open").size() == 1);
    }
    SUBCASE("switched off while the open error is shown: the click does not start") {
        fake.openResult = MMSYSERR_ALLOCATED;
        w.click(RAD_MIDI);
        fake.inBox = [&](const std::string &) {
            fake.inBox = nullptr;
            w.click(BCLICK);
        };
        w.click(BCLICK);
        CHECK_FALSE(w.checked(BCLICK));
        CHECK(g_ClickOn == 0);
        CHECK(g_TimerID == 0);
        CHECK(fake.only("settimer").empty());
    }
    SUBCASE("switched off and on, Audio and MIDI chosen while the open error is shown: one open, one box") {
        fake.openResult = MMSYSERR_ALLOCATED;
        w.click(RAD_MIDI);
        std::vector<std::string> during;
        fake.inBox = [&](const std::string &) {
            fake.inBox = nullptr;
            w.click(BCLICK);
            w.click(BCLICK);
            during = Ticks(1000, 1600);         // MIDI chosen, its open not done: silent
            w.click(RAD_AUDIO);
            w.click(RAD_MIDI);
        };
        w.click(BCLICK);
        CHECK(fake.only("open").size() == 1);
        CHECK(fake.only("box").size() == 1);
        CHECK(fake.only("settimer").size() == 1);
        CHECK(during.empty());
        CHECK(w.checked(RAD_MIDI));
        CHECK(Only(Ticks(2000, 2000), kOn).size() == 1);   // no device: sent all the same, and fails
    }
}

TEST_CASE("MIDI chosen while the click runs and the device cannot be opened: one box at a time")
{
    Window w;
    fake.openResult = MMSYSERR_ALLOCATED;
    w.click(BCLICK);
    Ticks(1000, 1040);
    SUBCASE("the open box first, the beats meanwhile send nothing; then the first send box, once") {
        std::vector<std::string> during;
        fake.inBox = [&](const std::string &) {
            fake.inBox = nullptr;
            during = Ticks(1050, 2100);         // the box's own loop runs the timer
        };
        w.click(RAD_MIDI);
        CHECK(Only(during, "msg").empty());
        CHECK(Only(during, "box").empty());
        CHECK(w.checked(RAD_MIDI));
        CHECK_FALSE(w.checked(RAD_AUDIO));
        CHECK(g_UseMidi == 1);
        Ticks(2110, 4000);
        CHECK(fake.only("box") == std::vector<std::string>{
            "box Fehler beim Öffnen des MIDI-Geräts: " + ErrorText(MMSYSERR_ALLOCATED),
            "box Fehler bei Note On: " + ErrorText(MMSYSERR_INVALHANDLE)});
    }
    SUBCASE("Beep chosen while the open box is up wins") {
        fake.inBox = [&](const std::string &) {
            fake.inBox = nullptr;
            w.click(RAD_BEEP);
        };
        w.click(RAD_MIDI);
        CHECK(w.checked(RAD_BEEP));
        CHECK_FALSE(w.checked(RAD_MIDI));
        CHECK(g_UseBeep == 1);
        CHECK(g_UseMidi == 0);
        CHECK(Ticks(1050, 1600) == std::vector<std::string>{"1100 beep 2160 4", "1600 beep 2160 4"});
        CHECK(fake.only("box").size() == 1);
    }
}

TEST_CASE("the switch's command again while the click runs: still one timer, one device")
{
    Window w;
    w.click(RAD_MIDI);
    w.click(BCLICK);
    w.command(BCLICK);
    w.command(BCLICK);
    CHECK(fake.only("settimer").size() == 1);
    CHECK(fake.only("open").size() == 1);
    CHECK(fake.only(kRaise).size() == 1);
    w.click(BCLICK);
    CHECK(fake.only("close").size() == 1);
    CHECK(fake.only(kRelease).size() == 1);
}

TEST_CASE("the system refuses the timer: no sound, no box, and switching off still ends the note")
{
    Window w;
    fake.nextTimerId = 0;
    w.click(RAD_MIDI);
    fake.log.clear();
    w.click(BCLICK);
    CHECK(w.checked(BCLICK));
    CHECK(g_TimerID == 0);
    // the finer resolution is not held for a timer that does not run
    CHECK(fake.log == std::vector<std::string>{"open 0 flags 0", kRaise, "settimer 10", kRelease});
    w.command(BCLICK);                          // the switch is on already: nothing to start
    CHECK(fake.only("open").size() == 1);
    CHECK(fake.only("settimer").size() == 1);
    fake.log.clear();
    w.click(BCLICK);
    CHECK(fake.log == std::vector<std::string>{kOff, "close"});
    CHECK(g_MidiOpen == 0);
    CHECK(fake.only("box").empty());
}

TEST_CASE("behind other windows: opted out of power throttling exactly while the click runs")
{
    Window w;
    g_SetProcessInfo = FakeSetProcessInformation;
    // execution speed and timer resolution (1 | 4) kept; 0 gives them back
    const std::string kOptOut = "power v1 control 5 state 0 size 12";
    const std::string kGiveBack = "power v1 control 0 state 0 size 12";
    const std::string kSpeedOnly = "power v1 control 1 state 0 size 12";     // Windows 10's

    SUBCASE("switched on and off, and on again") {
        w.click(BCLICK);
        CHECK(fake.log == std::vector<std::string>{kOptOut, kRaise, "settimer 10"});
        CHECK(Ticks(1000, 1600).size() == 2);   // beats ask for nothing more
        CHECK(fake.only("power").size() == 1);
        fake.log.clear();
        w.click(BCLICK);
        CHECK(fake.log == std::vector<std::string>{"killtimer 41", kRelease, kGiveBack});
        fake.log.clear();
        w.click(BCLICK);
        CHECK(fake.only("power") == std::vector<std::string>{kOptOut});
    }
    SUBCASE("the timer is refused") {
        fake.nextTimerId = 0;
        w.click(BCLICK);
        CHECK(fake.log == std::vector<std::string>{kOptOut, kRaise, "settimer 10", kRelease, kGiveBack});
    }
    SUBCASE("closed while clicking") {
        w.click(BCLICK);
        fake.log.clear();
        w.close();
        CHECK(fake.only("power") == std::vector<std::string>{kGiveBack});
    }
    SUBCASE("Windows 10 refuses the timer resolution's flag: the speed alone is kept, then given back") {
        fake.powerRefused = PROCESS_POWER_THROTTLING_IGNORE_TIMER_RESOLUTION;
        w.click(BCLICK);
        CHECK(fake.log == std::vector<std::string>{kOptOut, kSpeedOnly, kRaise, "settimer 10"});
        w.click(BCLICK);
        CHECK(fake.only("power").back() == kGiveBack);
        CHECK(fake.only("power").size() == 3);
    }
    SUBCASE("both calls fail: the click runs and stops as before, silently, nothing to give back") {
        fake.powerRefused = PROCESS_POWER_THROTTLING_EXECUTION_SPEED;
        w.click(BCLICK);
        CHECK(Ticks(1000, 1600) == std::vector<std::string>{"1100 " + kSample, "1600 " + kSample});
        w.click(BCLICK);
        CHECK(fake.only("power") == std::vector<std::string>{kOptOut, kSpeedOnly});
        CHECK(fake.log.back() == kRelease);
        CHECK(fake.only("box").empty());
    }
    SUBCASE("while the click is off nothing is asked") {
        w.click(RAD_MIDI);
        w.type("200");
        w.click(RAD_AUDIO);
        w.close();
        CHECK(fake.only("power").empty());
    }
}

TEST_CASE("before Windows 8, without SetProcessInformation, the click runs all the same")
{
    Window w;                                   // FreshStart leaves the function missing
    w.click(BCLICK);
    CHECK(fake.log == std::vector<std::string>{kRaise, "settimer 10"});
    CHECK(Ticks(1000, 1100) == std::vector<std::string>{"1100 " + kSample});
    w.click(BCLICK);
    CHECK(fake.log.back() == kRelease);
    CHECK(g_PowerOptOut == 0);
}

TEST_CASE("the first beat after a start waits out the last interval across the wrap of the clock")
{
    Window w;
    g_OldTimer = 0xFFFFFFF0UL;                  // the last beat 16 ms before the wrap
    w.click(BCLICK);
    CHECK(Ticks(10, 1100) == std::vector<std::string>{"590 " + kSample, "1090 " + kSample});
}

TEST_CASE("closing the window stops the click, ends the note and stores the settings")
{
    Window w;
    w.click(RAD_MIDI);
    w.click(BCLICK);
    Ticks(1000, 1000);
    fake.log.clear();
    w.close();
    CHECK(fake.log == std::vector<std::string>{"killtimer 41", kRelease, kOff, "close"});
    CHECK(g_ClickOn == 0);
    DWORD flags = 0, size = sizeof flags;
    CHECK(RegGetValueA(HKEY_CURRENT_USER, "Software\\Tokvin", "Flags", RRF_RT_REG_DWORD, nullptr, &flags, &size) == ERROR_SUCCESS);
    CHECK(flags == BITMIDI);
}

} // TEST_SUITE

TEST_SUITE("midi") {

TEST_CASE("note messages: status with the channel first, then note and velocity")
{
    CHECK(MidiPackOn(75, 64, 9) == 0x00404B99);
    CHECK(MidiPackOff(75, 9) == 0x00004B99);
    CHECK(MidiPackOn(60, 100, 0) == 0x00643C90);
    CHECK(MidiPackOff(60, 0) == 0x00003C90);
}

TEST_CASE("values out of range: the nearest channel, note and velocity, never a note-off by accident")
{
    CHECK(MidiPackOn(200, 300, 265) == 0x007F7F9F);
    CHECK(MidiPackOff(200, 265) == 0x00007F9F);
    CHECK(MidiPackOn(0, 0, 0xFFFFFFFF) == 0x0001009F);
    CHECK(MidiPackOff(0, 0xFFFFFFFF) == 0x0000009F);
    CHECK(MidiPackOn(75, 128, 16) == 0x007F4B9F);           // channel counted from 1 stays the drums
    CHECK(MidiPackOn(127, 127, 15) == 0x007F7F9F);          // the ends themselves pass unchanged
    CHECK(MidiPackOn(0, 1, 0) == 0x00010090);
    CHECK(MidiPackOn(0x80000000, 0x80000000, 0x80000000) == 0x007F7F9F);   // not negative
}

} // TEST_SUITE
