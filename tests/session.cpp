// Runs of the real program with the loopback MIDI driver; see session.h.
#include "session.h"

#include <doctest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace {

const char *const kDriverFlags[] = {"TKLOOP_NODEVICE", "TKLOOP_OPENFAIL", "TKLOOP_SENDFAIL", "TKLOOP_CLOSEFAIL"};

void SetWineValue(const char *key, const char *name, const char *value)
{
    HKEY h;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_WRITE, nullptr, &h, nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExA(h, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(value), static_cast<DWORD>(std::strlen(value) + 1));
    RegCloseKey(h);
}

std::string ReadFrom(const std::string &path, long long offset)
{
    std::ifstream f(path, std::ios::binary);
    if (!f)
        return "";
    f.seekg(offset);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

long long FileSize(const std::string &path)
{
    std::ifstream f(path, std::ios::binary | std::ios::ate);
    return f ? static_cast<long long>(f.tellg()) : 0;
}

} // namespace

void StoreSource(DWORD flags, DWORD tempo)
{
    ClearSettings();
    StoreDword("Flags", flags);
    StoreDword("Tempo", tempo);
}

Session::Session(const std::vector<std::string> &driverFlags, const std::wstring &exe)
{
    // the trace goes to the test's own stderr, which CTest sends to a file
    const char *trace = std::getenv("TOKVIN_TRACE");
    REQUIRE_MESSAGE(trace, "TOKVIN_TRACE names the file that gets the program's Wine trace");
    tracePath_ = trace;
    traceStart_ = FileSize(tracePath_);

    char tmp[MAX_PATH];
    GetTempPathA(sizeof tmp, tmp);
    static int run;
    logPath_ = std::string(tmp) + "tkloop-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++run) + ".log";
    DeleteFileA(logPath_.c_str());

    std::string driver = TokvinPath();
    driver.replace(driver.find_last_of('\\') + 1, std::string::npos, "winetkloop.drv");
    loopback_.reset(new LoopbackMidi(driver));
    SetWineValue("Software\\Wine\\Debug", "RelayInclude",
                 "winmm.sndPlaySoundA;kernel32.Beep;kernelbase.Beep;winmm.midiOutShortMsg;"
                 "winmm.timeBeginPeriod;winmm.timeEndPeriod;"
                 "kernel32.SetProcessInformation;kernelbase.SetProcessInformation;"
                 "kernel32.LoadLibraryA;kernelbase.LoadLibraryA;kernel32.LoadLibraryExA;kernelbase.LoadLibraryExA");
    // calls made by the program itself, not those among Wine's own DLLs;
    // its imports are bound under the file's full name
    SetWineValue("Software\\Wine\\Debug", "RelayFromInclude", "tokvin;tokvin.exe");
    SetEnvironmentVariableA("TKLOOP_LOG", logPath_.c_str());
    for (const char *f : kDriverFlags)
        SetEnvironmentVariableA(f, nullptr);
    for (const auto &f : driverFlags)
        SetEnvironmentVariableA(f.c_str(), "1");
    SetEnvironmentVariableA("WINEDEBUG", "+timestamp,+relay");
    app_ = exe.empty() ? new Tokvin() : new Tokvin(exe);
    SetEnvironmentVariableA("WINEDEBUG", "-all");
}

Session::~Session()
{
    answerBoxes();
    delete app_;
    for (const char *f : kDriverFlags)
        SetEnvironmentVariableA(f, nullptr);
    DeleteFileA(logPath_.c_str());
}

Tokvin &Session::app()
{
    return *app_;
}

void Session::post(int id)
{
    PostMessageA(GetDlgItem(app_->h, id), BM_CLICK, 0, 0);
}

std::vector<MidiEvent> Session::midi() const
{
    std::vector<MidiEvent> out;
    std::istringstream in(ReadFrom(logPath_, 0));
    long long us;
    std::string kind, value;
    while (in >> us >> kind >> value)
        out.push_back({us / 1000.0, kind, std::strtoul(value.c_str(), nullptr, kind == "data" ? 16 : 10)});
    return out;
}

std::vector<Call> Session::calls(const std::string &name) const
{
    // e.g. "1234.567:0130:Call winmm.sndPlaySoundA(0040a0c0,00000005) ret=00403113";
    // a 64-bit program's arguments have 16 digits
    std::vector<Call> out;
    std::istringstream in(ReadFrom(tracePath_, traceStart_));
    std::string line;
    while (std::getline(in, line)) {
        size_t call = line.find(":Call ");
        size_t open = line.find('(', call);
        if (call == std::string::npos || open == std::string::npos || line.compare(call + 6, 3, "PE ") == 0)
            continue;
        std::string fn = line.substr(call + 6, open - call - 6);
        fn = fn.substr(fn.find('.') + 1);
        if (!name.empty() && fn != name)
            continue;
        Call c;
        c.ms = std::atof(line.c_str()) * 1000;
        c.name = fn;
        c.arg1 = std::strtoull(line.c_str() + open + 1, nullptr, 16);
        size_t comma = line.find(',', open);
        c.arg2 = comma == std::string::npos ? 0 : std::strtoull(line.c_str() + comma + 1, nullptr, 16);
        c.args = line.substr(open + 1, line.find(") ret=", open) - open - 1);
        out.push_back(c);
    }
    return out;
}

HWND Session::openBox(Box *box) const
{
    HWND found = FindWindowWhere([&](HWND w) {
        DWORD pid = 0;
        char cls[32] = "";
        GetWindowThreadProcessId(w, &pid);
        GetClassNameA(w, cls, sizeof cls);
        return pid == app_->pi.dwProcessId && w != app_->h && std::strcmp(cls, "#32770") == 0
            && GetDlgItem(w, 0xFFFF) && IsWindowVisible(w);
    });
    if (found && box) {
        char caption[256] = "", text[600] = "";
        GetWindowTextA(found, caption, sizeof caption);
        GetDlgItemTextA(found, 0xFFFF, text, sizeof text);
        box->caption = caption;
        box->text = text;
    }
    return found;
}

void Session::answerBoxes()
{
    Box b;
    while (HWND h = openBox(&b)) {
        boxes.push_back(b);
        PostMessageA(h, WM_COMMAND, IDOK, 0);
        WaitFor([&] { return !IsWindow(h) || !IsWindowVisible(h); }, 10000);
    }
}
