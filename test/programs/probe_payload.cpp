// A stand-in installer for tests (GUI subsystem, like a real one). It reports what it received - its
// raw command line, the argument vector the C runtime split from it (wide, so no code page gets in the
// way), its working directory, its own path and file content, one inherited environment variable - to the
// file that KITEBOOT_PROBE_REPORT names, and exits with the code that KITEBOOT_PROBE_EXIT gives. Its
// arguments are only reported, never interpreted, so every behaviour is chosen through the environment
// (see probe_report.h).
#include <cstdlib>
#include <string>

#include "common/windows/WinHeaders.h"
#include "programs/probe_report.h"

namespace {

std::string toUtf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string result(size, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), size, nullptr,
                        nullptr);
    return result;
}

std::wstring widen(const char* ascii) {
    return std::wstring(ascii, ascii + std::char_traits<char>::length(ascii));
}

// The variable's value; set is false when it is not defined.
std::wstring variable(const char* name, bool* set = nullptr) {
    const std::wstring wideName = widen(name);
    const DWORD size = GetEnvironmentVariableW(wideName.c_str(), nullptr, 0);
    if (set) *set = size != 0;
    if (size == 0) return {};
    std::wstring value(size, L'\0');
    const DWORD length = GetEnvironmentVariableW(wideName.c_str(), value.data(), size);
    value.resize(length);
    return value;
}

std::wstring modulePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

std::wstring currentDirectory() {
    const DWORD size = GetCurrentDirectoryW(0, nullptr);
    std::wstring path(size, L'\0');
    path.resize(GetCurrentDirectoryW(size, path.data()));
    return path;
}

// Size and FNV-1a hash of a file's bytes, read in large blocks (the file may be hundreds of MiB).
void hashFile(const std::wstring& path, std::uint64_t& size, std::string& hash) {
    probe::Fnv1a fnv;
    size = 0;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        std::string buffer(4 << 20, '\0');
        DWORD read = 0;
        while (ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr) && read > 0) {
            fnv.add(buffer.data(), read);
            size += read;
        }
        CloseHandle(file);
    }
    hash = fnv.hex();
}

std::string makeReport(int argc, wchar_t** argv) {
    std::string report;
    probe::appendField(report, "command_line", toUtf8(GetCommandLineW()));
    for (int i = 0; i < argc; ++i)
        probe::appendField(report, "arg", toUtf8(argv[i]));
    probe::appendField(report, "current_directory", toUtf8(currentDirectory()));
    const std::wstring self = modulePath();
    probe::appendField(report, "module_path", toUtf8(self));
    bool inheritedSet = false;
    const std::wstring inherited = variable(probe::kInheritedVariable, &inheritedSet);
    if (inheritedSet) probe::appendField(report, "inherited", toUtf8(inherited));
    std::uint64_t size = 0;
    std::string hash;
    hashFile(self, size, hash);
    probe::appendField(report, "image_size", std::to_string(size));
    probe::appendField(report, "image_hash", hash);
    probe::appendField(report, "process_id", std::to_string(GetCurrentProcessId()));
    return report;
}

// Written under a side name and moved into place, so a reader polling for the file never sees half of it.
void writeReport(const std::wstring& path, const std::string& report) {
    const std::wstring partial = path + L".part";
    HANDLE file = CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, report.data(), static_cast<DWORD>(report.size()), &written, nullptr);
    CloseHandle(file);
    MoveFileExW(partial.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}

// Makes each "|"-separated relative path under the current directory, with its missing directories; a
// path ending in a backslash is a directory.
void createEntries(const std::wstring& list) {
    std::size_t start = 0;
    while (start < list.size()) {
        std::size_t end = list.find(L'|', start);
        if (end == std::wstring::npos) end = list.size();
        const std::wstring entry = list.substr(start, end - start);
        for (std::size_t slash = entry.find(L'\\'); slash != std::wstring::npos;
             slash = entry.find(L'\\', slash + 1))
            CreateDirectoryW(entry.substr(0, slash).c_str(), nullptr);
        if (!entry.empty() && entry.back() != L'\\') {
            HANDLE file = CreateFileW(entry.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
            if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
        }
        start = end + 1;
    }
}

void waitForFile(const std::wstring& path) {
    for (int i = 0; i < 6000 && GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES; ++i)
        Sleep(10);
}

void setVariable(const char* name, const std::wstring& value) {
    SetEnvironmentVariableW(widen(name).c_str(), value.empty() ? nullptr : value.c_str());
}

// Starts program in its own directory with the spawn variables turned into its report and wait variables,
// and does not wait for it.
void spawn(const std::wstring& program) {
    setVariable(probe::kReportVariable, variable(probe::kSpawnReportVariable));
    setVariable(probe::kWaitForVariable, variable(probe::kSpawnWaitForVariable));
    setVariable(probe::kSpawnVariable, L"");
    setVariable(probe::kExitVariable, L"");
    std::wstring commandLine = L"\"" + program + L"\"";
    const std::wstring directory = program.substr(0, program.find_last_of(L"\\/"));
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                       directory.c_str(), &startup, &info)) {
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
    }
}

// Ends the process with the exception's code, as Windows does when no debugger or error reporting
// steps in. Without it Wine starts its debugger, which keeps the executable open after the process ended.
LONG WINAPI exitWithExceptionCode(EXCEPTION_POINTERS* exception) {
    TerminateProcess(GetCurrentProcess(), exception->ExceptionRecord->ExceptionCode);
    return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    SetUnhandledExceptionFilter(exitWithExceptionCode);
    // Read before spawning, which changes this process's environment for the child.
    const auto exitCode = static_cast<int>(std::wcstoul(variable(probe::kExitVariable).c_str(), nullptr, 0));
    const std::wstring sleep = variable(probe::kSleepVariable);
    const bool crash = variable(probe::kCrashVariable) == L"1";

    const std::wstring waitFor = variable(probe::kWaitForVariable);
    if (!waitFor.empty()) waitForFile(waitFor);
    createEntries(variable(probe::kCreateVariable));
    const std::wstring reportPath = variable(probe::kReportVariable);
    if (!reportPath.empty()) writeReport(reportPath, makeReport(argc, argv));
    const std::wstring release = variable(probe::kReleaseVariable);
    if (!release.empty()) waitForFile(release);
    const std::wstring child = variable(probe::kSpawnVariable);
    if (!child.empty()) spawn(child);
    if (!sleep.empty()) Sleep(static_cast<DWORD>(std::wcstoul(sleep.c_str(), nullptr, 0)));
    if (crash) {
        // A write to a page without access. Not to address 0: Wine running as root may have the lowest
        // pages mapped. The volatile pointer keeps the compiler from reasoning about the write.
        int* volatile forbidden =
            static_cast<int*>(VirtualAlloc(nullptr, 4096, MEM_RESERVE | MEM_COMMIT, PAGE_NOACCESS));
        *forbidden = 1;
    }
    return exitCode;
}
