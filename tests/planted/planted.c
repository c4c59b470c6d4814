/* A DLL as one finds it planted beside a program (never shipped): loaded
 * into a process, it leaves a mark, an empty file named after itself with
 * ".loaded" appended, and does nothing else. The tests copy it beside
 * tokvin.exe under the names of the DLLs the program uses.
 */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE hinst, DWORD reason, LPVOID reserved)
{
    char path[MAX_PATH + 8];
    DWORD len;
    HANDLE mark;

    (void)reserved;
    if (reason != DLL_PROCESS_ATTACH)
        return TRUE;
    len = GetModuleFileNameA(hinst, path, MAX_PATH);
    if (len == 0 || len >= MAX_PATH)
        return TRUE;
    lstrcpyA(path + len, ".loaded");
    mark = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (mark != INVALID_HANDLE_VALUE)
        CloseHandle(mark);
    return TRUE;
}
