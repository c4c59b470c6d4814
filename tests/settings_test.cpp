// Stored settings: what a start loads from HKCU\Software\Tokvin, what the
// window then shows, and what closing it writes back - also for values that
// another program or a user left there in odd shapes.
#include <doctest.h>

#include "fakes.h"
#include "window.h"

#include <cstring>
#include <map>
#include <vector>

namespace {

const char kKey[] = "Software\\Tokvin";
const char *const kNames[] = {"Flags", "Tempo", "MIDIChannel", "MIDINote", "MIDIVelocity", "MIDIDevice"};

void Store(const char *name, DWORD type, const void *data, DWORD size)
{
    HKEY key;
    REQUIRE(RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) == ERROR_SUCCESS);
    REQUIRE(RegSetValueExA(key, name, 0, type, static_cast<const BYTE *>(data), size) == ERROR_SUCCESS);
    RegCloseKey(key);
}

void StoreDword(const char *name, DWORD value)
{
    Store(name, REG_DWORD, &value, sizeof value);
}

// name -> value of every REG_DWORD of 4 bytes under the key; other shapes
// show as "bad"
std::map<std::string, long long> Stored()
{
    std::map<std::string, long long> out;
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return out;
    for (const char *name : kNames) {
        DWORD type = 0, value = 0, size = sizeof value;
        LONG rc = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE *>(&value), &size);
        if (rc == ERROR_SUCCESS)
            out[name] = (type == REG_DWORD && size == 4) ? static_cast<long long>(value) : -0xBAD;
    }
    RegCloseKey(key);
    return out;
}

std::map<std::string, long long> Values(long long flags, long long tempo, long long chan = 9,
                                        long long note = 75, long long velo = 64, long long dev = 0)
{
    return {{"Flags", flags}, {"Tempo", tempo}, {"MIDIChannel", chan},
            {"MIDINote", note}, {"MIDIVelocity", velo}, {"MIDIDevice", dev}};
}

// Opens the window on what is stored now, as a start of the program does.
struct Started : Window {
    Started() : Window(true) {}
};

} // namespace

TEST_SUITE("settings") {

TEST_CASE("a first run loads nothing and its close writes all six values")
{
    FreshStart();
    CHECK(Stored().empty());
    {
        Started w;
        CHECK(g_Tempo == 120);
        CHECK(w.checked(RAD_AUDIO));
        w.close();
        CHECK_FALSE(IsWindowVisible(w.h));
    }
    CHECK(Stored() == Values(0, 120));
}

TEST_CASE("Windows ends the session: stored as at a close, the click stopped; an end called off changes nothing")
{
    FreshStart();
    Started w;
    w.type("126");
    w.click(RAD_MIDI);
    w.click(BCLICK);
    CHECK(SendMessageA(w.h, WM_QUERYENDSESSION, 0, 0) != 0);      // not refused
    SendMessageA(w.h, WM_ENDSESSION, FALSE, 0);
    CHECK(Stored().empty());
    CHECK(g_ClickOn == 1);
    fake.log.clear();
    SendMessageA(w.h, WM_ENDSESSION, TRUE, 0);
    CHECK(Stored() == Values(BITMIDI, 126));
    CHECK(fake.log == std::vector<std::string>{"killtimer 41", "timeEndPeriod 1", "msg 99 4B 00 00", "close"});
    CHECK_FALSE(w.checked(BCLICK));
}

TEST_CASE("tempo and source survive a close and a new start")
{
    FreshStart();
    {
        Started w;
        w.type("96");
        w.click(RAD_BEEP);
        w.close();
    }
    CHECK(Stored() == Values(BITBEEP, 96));
    {
        Started w;
        CHECK(g_Tempo == 96);
        CHECK(w.title() == "96 BPM - Tokvin 0.99");
        CHECK(w.trackPos() == 312 - 96);
        CHECK(w.checked(RAD_BEEP));
        CHECK_FALSE(w.checked(RAD_AUDIO));
        w.click(RAD_MIDI);
        w.close();
    }
    CHECK(Stored() == Values(BITMIDI, 96));
}

TEST_CASE("stored values in odd shapes: what loads, what shows, what is saved back")
{
    struct Case {
        const char *what;
        const char *name;
        DWORD type;
        std::vector<BYTE> data;
        int tempo;                        // applied tempo after start
        std::map<std::string, long long> saved;
    };
    auto dw = [](DWORD v) { return std::vector<BYTE>{BYTE(v), BYTE(v >> 8), BYTE(v >> 16), BYTE(v >> 24)}; };
    const Case cases[] = {
        {"tempo 500 opens at 300", "Tempo", REG_DWORD, dw(500), 300, Values(0, 300)},
        {"tempo 0 opens at 12", "Tempo", REG_DWORD, dw(0), 12, Values(0, 12)},
        {"tempo -7 opens at 12", "Tempo", REG_DWORD, dw(DWORD(-7)), 12, Values(0, 12)},
        {"two raw bytes replace the low bytes of 120", "Tempo", REG_BINARY, {0x2C, 0x01}, 300, Values(0, 300)},
        {"four raw bytes load whole", "Tempo", REG_BINARY, dw(96), 96, Values(0, 96)},
        {"no bytes change nothing", "Tempo", REG_BINARY, {}, 120, Values(0, 120)},
        {"eight bytes are too long and change nothing", "Tempo", REG_BINARY, {90, 0, 0, 0, 1, 2, 3, 4}, 120, Values(0, 120)},
        {"a QWORD is too long and changes nothing", "Tempo", REG_QWORD, {90, 0, 0, 0, 0, 0, 0, 0}, 120, Values(0, 120)},
        {"a string is taken as raw bytes", "Tempo", REG_SZ, {'9', '9', 0}, 300, Values(0, 300)},
        {"a long string changes nothing", "Tempo", REG_SZ, {'1', '0', '0', '0', 0}, 120, Values(0, 120)},
        {"channel 265 is kept as it is", "MIDIChannel", REG_DWORD, dw(265), 120, Values(0, 120, 265)},
        {"note and velocity beyond 127 are kept", "MIDINote", REG_DWORD, dw(200), 120, Values(0, 120, 9, 200)},
        {"any device number is kept", "MIDIDevice", REG_DWORD, dw(0xFFFFFFFF), 120, Values(0, 120, 9, 75, 64, 0xFFFFFFFF)},
        {"Flags 4 is the Audio source", "Flags", REG_DWORD, dw(4), 120, Values(0, 120)},
        {"Flags as a QWORD is ignored", "Flags", REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0}, 120, Values(0, 120)},
    };
    for (const Case &c : cases) {
        CAPTURE(c.what);
        FreshStart();
        Store(c.name, c.type, c.data.data(), static_cast<DWORD>(c.data.size()));
        {
            Started w;
            CHECK(g_Tempo == c.tempo);
            CHECK(w.title() == std::to_string(c.tempo) + " BPM - Tokvin 0.99");
            CHECK(w.text(TEMPOEDIT) == std::to_string(c.tempo));
            CHECK(w.checked(RAD_AUDIO));
            w.close();
        }
        CHECK(Stored() == c.saved);
    }
}

TEST_CASE("a short value does not disturb the values after it")
{
    FreshStart();
    const BYTE two[] = {0x2C, 0x01};
    Store("Tempo", REG_BINARY, two, sizeof two);
    StoreDword("MIDIChannel", 0);
    StoreDword("MIDINote", 60);
    StoreDword("MIDIVelocity", 100);
    StoreDword("MIDIDevice", 2);
    StoreDword("Flags", BITMIDI);
    Started w;
    CHECK(g_Tempo == 300);
    CHECK(g_MidiChan == 0);
    CHECK(g_MidiNote == 60);
    CHECK(g_MidiVelo == 100);
    CHECK(g_MidiDev == 2);
    CHECK(w.checked(RAD_MIDI));
}

TEST_CASE("Flags 3 shows both Beep and MIDI; choosing Audio leaves one check")
{
    FreshStart();
    StoreDword("Flags", 3);
    Started w;
    CHECK(w.checked(RAD_BEEP));
    CHECK(w.checked(RAD_MIDI));
    CHECK_FALSE(w.checked(RAD_AUDIO));
    CHECK(g_UseBeep == 1);
    CHECK(g_UseMidi == 1);
    w.click(RAD_AUDIO);
    CHECK(w.checked(RAD_AUDIO));
    CHECK_FALSE(w.checked(RAD_BEEP));
    CHECK_FALSE(w.checked(RAD_MIDI));
    w.close();
    CHECK(Stored().at("Flags") == 0);
}

TEST_CASE("no MIDI output device: MIDI greyed, a stored MIDI source falls back")
{
    SUBCASE("to Audio") {
        FreshStart();
        StoreDword("Flags", BITMIDI);
        fake.numDevs = 0;
        Started w;
        CHECK_FALSE(w.enabled(RAD_MIDI));
        CHECK_FALSE(w.checked(RAD_MIDI));
        CHECK(w.checked(RAD_AUDIO));
        w.close();
        CHECK(Stored().at("Flags") == 0);
    }
    SUBCASE("to Beep when Beep was stored too") {
        FreshStart();
        StoreDword("Flags", 3);
        fake.numDevs = 0;
        Started w;
        CHECK(w.checked(RAD_BEEP));
        CHECK_FALSE(w.checked(RAD_AUDIO));
        w.close();
        CHECK(Stored().at("Flags") == BITBEEP);
    }
}

TEST_CASE("a key with some values deleted: the rest load, the close writes all six")
{
    FreshStart();
    StoreDword("Tempo", 140);
    StoreDword("MIDINote", 37);
    {
        Started w;
        CHECK(g_Tempo == 140);
        CHECK(g_MidiNote == 37);
        CHECK(g_MidiChan == 9);
        w.close();
    }
    CHECK(Stored() == Values(0, 140, 9, 37, 64, 0));
}

TEST_CASE("other values and types under the key are left alone")
{
    FreshStart();
    const char note[] = "mine";
    Store("Comment", REG_SZ, note, sizeof note);
    {
        Started w;
        w.close();
    }
    char buf[16] = "";
    DWORD size = sizeof buf;
    CHECK(RegGetValueA(HKEY_CURRENT_USER, kKey, "Comment", RRF_RT_REG_SZ, nullptr, buf, &size) == ERROR_SUCCESS);
    CHECK(std::string(buf) == "mine");
}

} // TEST_SUITE
