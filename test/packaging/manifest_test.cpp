// The bootstrapper's manifest as the system reads it: this test program carries the very same manifest
// (as RT_MANIFEST 1) and asks the system what it made of it: the requested execution level, the
// supported systems and the settings from the activation context, and their effects: the code page of
// narrow text, the DPI awareness and the common controls that the process gets.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/share/tstrings.h"
#include "common/windows/WinAutoHandle.h"
#include "common/windows/WinHeaders.h"

namespace {

// The supportedOS entries of the manifest: Windows 10 and 11, 8.1, 8, 7.
const GUID kSupportedSystems[] = {
    {0x8e0f7a12, 0xbfb3, 0x4fe8, {0xb9, 0xa5, 0x48, 0xfd, 0x50, 0xa1, 0x5a, 0x9a}},
    {0x1f676c76, 0x80e1, 0x4239, {0x95, 0xbb, 0x83, 0xd0, 0xf6, 0xd0, 0xda, 0x78}},
    {0x4a2f28e3, 0x53b9, 0x4441, {0xba, 0x9c, 0xd6, 0x9d, 0x4a, 0x4a, 0x6e, 0x38}},
    {0x35138b9a, 0x5d96, 0x4fbd, {0x8e, 0x2d, 0xa2, 0x44, 0x02, 0x25, 0xf9, 0x3a}},
};

// The process's default activation context, which the system made from RT_MANIFEST 1, queried for one
// class of information. Empty when the query fails.
std::vector<char> queryActivationContext(ULONG infoClass) {
    SIZE_T needed = 0;
    QueryActCtxW(0, nullptr, nullptr, infoClass, nullptr, 0, &needed);
    std::vector<char> buffer(needed);
    if (needed == 0 || !QueryActCtxW(0, nullptr, nullptr, infoClass, buffer.data(), needed, &needed))
        buffer.clear();
    return buffer;
}

// A windowsSettings value of the process's manifest, as the system read it; "<missing>" when it has none.
std::wstring windowsSetting(const wchar_t* xmlNamespace, const wchar_t* name) {
    wchar_t value[256] = {};
    SIZE_T length = 0;
    if (!QueryActCtxSettingsW(0, nullptr, xmlNamespace, name, value, 256, &length)) return L"<missing>";
    return value;
}

bool contains(const std::vector<char>& bytes, const GUID& guid) {
    const char* const first = reinterpret_cast<const char*>(&guid);
    for (std::size_t at = 0; at + sizeof(GUID) <= bytes.size(); ++at) {
        if (std::memcmp(bytes.data() + at, first, sizeof(GUID)) == 0) return true;
    }
    return false;
}

TEST(LauncherManifest, RequestsAdministratorWithoutUiAccess) {
    const std::vector<char> bytes = queryActivationContext(RunlevelInformationInActivationContext);
    ASSERT_EQ(bytes.size(), sizeof(ACTIVATION_CONTEXT_RUN_LEVEL_INFORMATION)) << "error " << GetLastError();
    ACTIVATION_CONTEXT_RUN_LEVEL_INFORMATION info{};
    std::memcpy(&info, bytes.data(), sizeof(info));
    EXPECT_EQ(info.RunLevel, ACTCTX_RUN_LEVEL_REQUIRE_ADMIN);
    EXPECT_EQ(info.UiAccess, 0u);
}

TEST(LauncherManifest, NamesWindows7To11AsSupported) {
    const std::vector<char> bytes = queryActivationContext(CompatibilityInformationInActivationContext);
    ASSERT_GE(bytes.size(), sizeof(DWORD)) << "error " << GetLastError();
    DWORD count = 0;
    std::memcpy(&count, bytes.data(), sizeof(count));
    EXPECT_EQ(count, 4u);
    for (const GUID& system : kSupportedSystems)
        EXPECT_TRUE(contains(bytes, system))
            << "a supportedOS entry is missing, Data1 " << std::hex << system.Data1;
}

TEST(LauncherManifest, MakesNarrowTextUtf8) {
    EXPECT_EQ(windowsSetting(L"http://schemas.microsoft.com/SMI/2019/WindowsSettings", L"activeCodePage"),
              L"UTF-8");
    EXPECT_EQ(GetACP(), static_cast<UINT>(CP_UTF8));
}

// Per monitor: version 2 where the system has it, version 1 before (as on Wine 8). Both report
// DPI_AWARENESS_PER_MONITOR_AWARE.
TEST(LauncherManifest, MakesTheProcessPerMonitorDpiAware) {
    EXPECT_EQ(windowsSetting(L"http://schemas.microsoft.com/SMI/2016/WindowsSettings", L"dpiAwareness"),
              L"PerMonitorV2, PerMonitor");
    EXPECT_EQ(windowsSetting(L"http://schemas.microsoft.com/SMI/2005/WindowsSettings", L"dpiAware"),
              L"true/pm");
    const UniqueModule user32(LoadLibraryA("user32.dll"));
    ASSERT_NE(user32.get(), nullptr);
    using GetContextFn = void*(WINAPI*)();
    using GetAwarenessFn = int(WINAPI*)(void*);
    const auto getContext = reinterpret_cast<GetContextFn>(
        reinterpret_cast<void*>(GetProcAddress(user32.get(), "GetThreadDpiAwarenessContext")));
    const auto getAwareness = reinterpret_cast<GetAwarenessFn>(
        reinterpret_cast<void*>(GetProcAddress(user32.get(), "GetAwarenessFromDpiAwarenessContext")));
    ASSERT_TRUE(getContext && getAwareness);
    constexpr int kPerMonitorAware = 2;  // DPI_AWARENESS_PER_MONITOR_AWARE
    EXPECT_EQ(getAwareness(getContext()), kPerMonitorAware);
}

TEST(LauncherManifest, AllowsLongPaths) {
    EXPECT_EQ(windowsSetting(L"http://schemas.microsoft.com/SMI/2016/WindowsSettings", L"longPathAware"),
              L"true");
}

// Version 6 of the common controls lives in the side-by-side store; without the dependency the process
// gets the version 5 copy in the system directory.
TEST(LauncherManifest, BringsCommonControls6) {
    const UniqueModule comctl32(LoadLibraryA("comctl32.dll"));
    ASSERT_NE(comctl32.get(), nullptr);
    char path[MAX_PATH] = {};
    ASSERT_NE(GetModuleFileNameA(comctl32.get(), path, MAX_PATH), 0u);
    const std::string loaded = tstrings::toLower(path);
    EXPECT_NE(loaded.find("\\winsxs\\amd64_microsoft.windows.common-controls_6595b64144ccf1df_6.0."),
              std::string::npos)
        << loaded;
}

}  // namespace
