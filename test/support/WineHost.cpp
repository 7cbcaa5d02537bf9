#include "support/WineHost.h"

#include <gtest/gtest.h>

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

DeviceLink::DeviceLink(const std::string& name, const std::string& root, const std::string& directory)
    : root_(root) {
    const char* prefix = std::getenv("WINEPREFIX");
    const std::string target = unixPath(directory);
    if (!prefix || !*prefix || target.empty() || exists(root_)) return;  // not ours to change
    // A link left by a run that was killed points nowhere (root_ does not exist): it is replaced.
    devices_ = std::string(prefix) + "/dosdevices";
    runShell("cd '" + devices_ + "' && mkdir -p $(dirname '" + name + "') && ln -sfn '" + target + "' '" +
             name + "'");
    for (int polls = 0; !exists(root_) && polls < 1000; ++polls)
        Sleep(5);
    if (exists(root_)) name_ = name;
}

DeviceLink::~DeviceLink() {
    // The link, and the folders made for it ("unc/server") once they are empty.
    if (ok())
        runShell("cd '" + devices_ + "' && rm -f '" + name_ + "' && rmdir -p $(dirname '" + name_ +
                 "') 2>/dev/null; true");
}

}  // namespace testing_support
