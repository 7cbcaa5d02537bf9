// Starts a Windows program and reports its full 32-bit exit code, which the Wine loader's own exit
// status (8 bits) cannot carry. Used by the demo and the benchmark scripts.
//
//   runner.exe [--temp <dir>] <program> [arguments...]
//
// With --temp the program gets <dir> as TEMP and TMP. Prints "exit code: <signed> (0x<hex>)" and exits
// with the program's exit code.
#include "common/windows/WinHeaders.h"

#include <cstdio>
#include <cwchar>
#include <shellapi.h>
#include <string>
#include <vector>

#include "common/share/tstrings.h"
#include "quoting/ArgumentQuoting.h"

int wmain() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    int first = 1;
    if (argc > 2 && std::wcscmp(argv[1], L"--temp") == 0) {
        SetEnvironmentVariableW(L"TEMP", argv[2]);
        SetEnvironmentVariableW(L"TMP", argv[2]);
        first = 3;
    }
    if (first >= argc) {
        std::fwprintf(stderr, L"usage: runner.exe [--temp <dir>] <program> [arguments...]\n");
        return 2;
    }
    std::vector<std::string> arguments;
    for (int i = first; i < argc; ++i)
        arguments.push_back(tstrings::toUtf8(argv[i]));
    std::wstring commandLine = tstrings::fromUtf8(quoteCommandLine(
        arguments.front(), std::vector<std::string>(arguments.begin() + 1, arguments.end())));
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(argv[first], &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &info)) {
        std::fwprintf(stderr, L"cannot start %ls (error %lu)\n", argv[first], GetLastError());
        return 2;
    }
    WaitForSingleObject(info.hProcess, INFINITE);
    DWORD exitCode = 0;
    GetExitCodeProcess(info.hProcess, &exitCode);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    std::printf("exit code: %ld (0x%08lX)\n", static_cast<long>(exitCode), exitCode);
    return static_cast<int>(exitCode);
}
