// A stand-in for a system library that an attacker plants next to a program or in its current directory
// (tests copy it under names such as user32.dll). When loaded it appends its own path, one line, to the
// file that KITEBOOT_PLANT_MARKER names, so a test can tell whether and from where it was loaded.
#include <string>

#include "common/windows/WinHeaders.h"

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    wchar_t marker[4096];
    const DWORD length = GetEnvironmentVariableW(L"KITEBOOT_PLANT_MARKER", marker, 4096);
    if (length == 0 || length >= 4096) return TRUE;
    char path[4096];
    const DWORD pathLength = GetModuleFileNameA(self, path, sizeof(path) - 2);
    path[pathLength] = '\n';
    HANDLE file = CreateFileW(marker, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(file, path, pathLength + 1, &written, nullptr);
        CloseHandle(file);
    }
    return TRUE;
}
