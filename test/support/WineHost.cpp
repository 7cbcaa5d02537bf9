#include "support/WineHost.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>

#include "common/share/tstrings.h"
#include "common/windows/WinHeaders.h"
#include "support/TempDir.h"

namespace testing_support {

std::string unixPath(const std::string& path) {
    using ToUnixFn = char*(CDECL*)(LPCWSTR);
    const auto toUnix = reinterpret_cast<ToUnixFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32"), "wine_get_unix_file_name")));
    if (!toUnix) return {};
    char* converted = toUnix(tstrings::fromUtf8(path).c_str());
    if (!converted) return {};
    std::string result = converted;
    HeapFree(GetProcessHeap(), 0, converted);
    return result;
}

void runShell(const std::string& command) {
    std::wstring commandLine = L"sh -c \"" + tstrings::fromUtf8(command) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    ASSERT_TRUE(CreateProcessW(L"Z:\\bin\\sh", commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &info))
        << GetLastError();
    WaitForSingleObject(info.hProcess, 10000);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
}

MappedDrive::MappedDrive(char letter, const std::string& directory)
    : letter_(static_cast<char>(std::toupper(static_cast<unsigned char>(letter)))) {
    const char* prefix = std::getenv("WINEPREFIX");
    const std::string target = unixPath(directory);
    if (!prefix || !*prefix || target.empty()) return;
    const std::string link = std::string(prefix) + "/dosdevices/" +
                             static_cast<char>(std::tolower(static_cast<unsigned char>(letter))) + ":";
    if (exists(root())) return;  // the prefix has it already: not ours to change
    runShell("ln -s '" + target + "' '" + link + "'");
    for (int polls = 0; !exists(root()) && polls < 1000; ++polls)
        Sleep(5);
    if (exists(root())) link_ = link;
}

MappedDrive::~MappedDrive() {
    if (ok()) runShell("rm -f '" + link_ + "'");
}

}  // namespace testing_support
