// Helpers for tests of the built program; see exe.h.
#include "exe.h"

#include <doctest.h>

#include <tlhelp32.h>

#include <cstring>

static const char kKey[] = "Software\\Tokvin";

std::string TokvinPath()
{
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string p(path);
    p.erase(p.find_last_of('\\'));          // tests folder
    p.erase(p.find_last_of('\\') + 1);      // build folder
    return p + "tokvin.exe";
}

std::wstring Widen(const std::string &ansi)
{
    wchar_t wide[MAX_PATH * 2] = L"";
    MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, wide, MAX_PATH * 2);
    return wide;
}

struct FindArgs {
    const std::function<bool(HWND)> *match;
    HWND found;
};

static BOOL CALLBACK FindMatch(HWND hwnd, LPARAM lParam)
{
    FindArgs *a = reinterpret_cast<FindArgs *>(lParam);
    if (!(*a->match)(hwnd))
        return TRUE;
    a->found = hwnd;
    return FALSE;
}

HWND FindWindowWhere(const std::function<bool(HWND)> &match, HWND parent)
{
    FindArgs a = {&match, nullptr};
    if (parent)
        EnumChildWindows(parent, FindMatch, reinterpret_cast<LPARAM>(&a));
    else
        EnumWindows(FindMatch, reinterpret_cast<LPARAM>(&a));
    return a.found;
}

// A top-level window's title, read without sending it a message.
static std::string Title(HWND hwnd)
{
    char title[256] = "";
    GetWindowTextA(hwnd, title, sizeof title);
    return title;
}

std::string WindowText(HWND hwnd)
{
    char text[4096] = "";
    SendMessageTimeoutA(hwnd, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 2000, nullptr);
    return text;
}

Tokvin::Tokvin(const std::string &exe) : Tokvin(Widen(exe))
{
}

Tokvin::Tokvin(const std::wstring &exe)
{
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    std::wstring cmd = L"\"" + exe + L"\"";
    REQUIRE(CreateProcessW(exe.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    REQUIRE(WaitFor([&] {
        h = FindWindowWhere([&](HWND w) {
            DWORD pid = 0;
            GetWindowThreadProcessId(w, &pid);
            return pid == pi.dwProcessId && IsWindowVisible(w)
                && Title(w).find(" BPM - Tokvin") != std::string::npos;
        });
        return h != nullptr;
    }));
}

Tokvin::~Tokvin()
{
    if (running()) {
        PostMessageA(h, WM_CLOSE, 0, 0);
        if (WaitForSingleObject(pi.hProcess, 20000) != WAIT_OBJECT_0)
            TerminateProcess(pi.hProcess, 1);
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
}

std::string Tokvin::text(int id) const
{
    char buf[256] = "";
    GetDlgItemTextA(h, id, buf, sizeof buf);
    return buf;
}

std::string Tokvin::title() const
{
    char buf[256] = "";
    GetWindowTextA(h, buf, sizeof buf);
    return buf;
}

bool Tokvin::checked(int id) const
{
    return SendDlgItemMessageA(h, id, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

bool Tokvin::enabled(int id) const
{
    return IsWindowEnabled(GetDlgItem(h, id)) != FALSE;
}

HWND FindChildWithText(HWND parent, const std::string &part)
{
    return FindWindowWhere([&](HWND w) { return WindowText(w).find(part) != std::string::npos; }, parent);
}

HWND FindTopWindow(const std::string &part)
{
    return FindWindowWhere([&](HWND w) {
        return IsWindowVisible(w) && Title(w).find(part) != std::string::npos;
    });
}

DWORD Tokvin::close()
{
    PostMessageA(h, WM_CLOSE, 0, 0);
    return exitCode();
}

DWORD Tokvin::exitCode()
{
    REQUIRE(WaitForSingleObject(pi.hProcess, 20000) == WAIT_OBJECT_0);
    DWORD code = 0xDEAD;
    GetExitCodeProcess(pi.hProcess, &code);
    return code;
}

void Tokvin::pressF1() const
{
    SetForegroundWindow(h);
    REQUIRE(WaitFor([&] { return GetForegroundWindow() == h; }));
    INPUT key[2] = {};
    key[0].type = key[1].type = INPUT_KEYBOARD;
    key[0].ki.wVk = key[1].ki.wVk = VK_F1;
    key[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, key, sizeof key[0]);
}

HWND Tokvin::window(const char *cls, int *count) const
{
    int n = 0;
    HWND first = nullptr;
    FindWindowWhere([&](HWND w) {
        DWORD pid = 0;
        char name[64] = "";
        GetWindowThreadProcessId(w, &pid);
        GetClassNameA(w, name, sizeof name);
        if (pid == pi.dwProcessId && w != h && IsWindowVisible(w) && std::string(name) == cls) {
            n++;
            if (!first)
                first = w;
        }
        return false;                   // visit them all
    });
    if (count)
        *count = n;
    return first;
}

bool Tokvin::running() const
{
    return WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT;
}

void ClearSettings()
{
    RegDeleteKeyA(HKEY_CURRENT_USER, kKey);
}

void StoreDword(const char *name, DWORD value)
{
    HKEY key;
    REQUIRE(RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) == ERROR_SUCCESS);
    RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&value), sizeof value);
    RegCloseKey(key);
}

bool ReadDword(const char *name, DWORD *value)
{
    DWORD size = sizeof *value, type = 0;
    return RegGetValueA(HKEY_CURRENT_USER, kKey, name, RRF_RT_REG_DWORD, &type, value, &size) == ERROR_SUCCESS;
}

Installed::Installed(std::initializer_list<const char *> files, const std::wstring &name)
{
    std::wstring exe = Widen(TokvinPath()), build = exe.substr(0, exe.find_last_of(L'\\') + 1);
    wchar_t tmp[MAX_PATH];
    GetTempPathW(MAX_PATH, tmp);
    dir = tmp + name + L"-" + std::to_wstring(GetCurrentProcessId()) + L"\\";
    CreateDirectoryW(dir.c_str(), nullptr);
    add(exe, L"tokvin.exe");
    add(exe + L".manifest", L"tokvin.exe.manifest");
    for (const char *f : files)
        add(build + Widen(f), Widen(f));
}

Installed::~Installed()
{
    for (const std::wstring &f : files_)
        DeleteFileW((dir + f).c_str());
    RemoveDirectoryW(dir.c_str());
}

void Installed::add(const std::wstring &from, const std::wstring &as)
{
    files_.push_back(as);
    REQUIRE(CopyFileW(from.c_str(), (dir + as).c_str(), FALSE));
}

bool Installed::has(const std::wstring &name) const
{
    return GetFileAttributesW((dir + name).c_str()) != INVALID_FILE_ATTRIBUTES;
}

static std::string SystemFile(const char *name)
{
    char sys[MAX_PATH];
    GetSystemDirectoryA(sys, sizeof sys);
    return std::string(sys) + "\\" + name;
}

// in HKCR as Wine registers it, in the program's own view (32 or 64 bits):
// Wine does not merge HKCU's classes into it
static void SetEnumeratorServer(const std::string &file)
{
    HKEY h;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, "CLSID\\{BCDE0395-E52F-467C-8E3D-C4579291692E}\\InprocServer32", 0,
                      KEY_SET_VALUE, &h) != ERROR_SUCCESS)
        return;
    RegSetValueExA(h, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE *>(file.c_str()),
                   static_cast<DWORD>(file.size() + 1));
    RegCloseKey(h);
}

LoopbackMidi::LoopbackMidi(const std::string &driver)
{
    const std::string installed = SystemFile("winetkloop.drv");
    CopyFileA(driver.c_str(), installed.c_str(), FALSE);     // in use by a run still ending: there already
    REQUIRE(GetFileAttributesA(installed.c_str()) != INVALID_FILE_ATTRIBUTES);
    SetEnumeratorServer(installed);
}

LoopbackMidi::~LoopbackMidi()
{
    SetEnumeratorServer(SystemFile("mmdevapi.dll"));
}

std::string LoadedFrom(DWORD pid, const char *name)
{
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, pid);
    REQUIRE(snap != INVALID_HANDLE_VALUE);
    MODULEENTRY32 m = {};
    m.dwSize = sizeof m;
    std::string path;
    for (BOOL more = Module32First(snap, &m); more && path.empty(); more = Module32Next(snap, &m))
        if (lstrcmpiA(m.szModule, name) == 0)
            path = CharLowerA(m.szExePath);
    CloseHandle(snap);
    return path;
}

static const char kOverrides[] = "Software\\Wine\\AppDefaults\\tokvin.exe\\DllOverrides";

DllOverrides::DllOverrides(std::initializer_list<std::pair<const char *, const char *>> dlls)
{
    HKEY h;
    REQUIRE(RegCreateKeyExA(HKEY_CURRENT_USER, kOverrides, 0, nullptr, 0, KEY_WRITE, nullptr, &h, nullptr) == ERROR_SUCCESS);
    for (const auto &dll : dlls)
        RegSetValueExA(h, dll.first, 0, REG_SZ, reinterpret_cast<const BYTE *>(dll.second),
                       static_cast<DWORD>(std::strlen(dll.second) + 1));
    RegCloseKey(h);
}

DllOverrides::~DllOverrides()
{
    RegDeleteKeyA(HKEY_CURRENT_USER, kOverrides);
}
