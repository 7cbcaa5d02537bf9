#include "windows/common/SysInfo.h"

#include <algorithm>
#include <vector>

#include "common/share/tstrings.h"
#include "common/windows/WinErrorHandling.h"
#include "windows/common/DllFunction.h"
#include "windows/common/FileUtils.h"

namespace SysInfo {

namespace {

constexpr DWORD kInitialBufferSize = MAX_PATH;

// The buffer's text up to its first NUL, in UTF-8, without trailing separators (a root keeps one).
std::string directoryFrom(const std::vector<wchar_t>& buffer) {
    // A query that filled the whole buffer leaves no NUL in it; the text then ends with the buffer.
    const auto end = std::find(buffer.begin(), buffer.end(), L'\0');
    return FileUtils::directoryPath(tstrings::toUtf8(std::wstring(buffer.begin(), end)));
}

std::string getModulePath(HMODULE module) {
    std::vector<wchar_t> buffer(kInitialBufferSize, L'\0');
    DWORD length = 0;
    for (;;) {
        length = GetModuleFileNameW(module, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length < buffer.size()) break;
        buffer.resize(buffer.size() * 2, L'\0');
    }
    if (length == 0) ZOR_THROW_LAST_ERROR(GetModuleFileNameW, "GetModuleFileName failed");
    return tstrings::toUtf8(std::wstring(buffer.data(), length));
}

using DirectoryQuery = UINT(WINAPI*)(LPWSTR buffer, UINT size);

std::string getSystemDirImpl(DirectoryQuery query, const char* name) {
    std::vector<wchar_t> buffer(kInitialBufferSize, L'\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        const UINT length = query(buffer.data(), static_cast<UINT>(buffer.size()));
        if (length == 0) ZOR_THROW_LAST_ERROR(query, name << " failed");
        if (length < buffer.size()) return directoryFrom(buffer);
        buffer.resize(length + 1, L'\0');
    }
    ZOR_THROW_RUNTIME_ERROR("Unexpected reply from " << name);
}

// GetTempPath2W where the system has it (Windows 11, Server 2022, updated Windows 10; Wine 8 has not); null
// otherwise.
TempPathQuery bindGetTempPath2W() {
    try {
        const DllFunction<TempPathQuery> second(Dll("kernel32"), "GetTempPath2W", Binding::Lenient);
        // kernel32 stays loaded for the life of the process, so the address outlives the binding.
        if (second.available()) return second;
    } catch (...) {
        // Missing on this system is the policy: a kernel32 that cannot be bound again counts as one without
        // GetTempPath2W, and the query every system has is used.
    }
    return nullptr;
}

// The error of a query that returned 0: the thread's last error, or ERROR_PATH_NOT_FOUND where it named none.
DWORD queryError() {
    const DWORD error = GetLastError();
    return error != ERROR_SUCCESS ? error : ERROR_PATH_NOT_FOUND;
}

}  // namespace

HMODULE getCurrentModuleHandle() {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            reinterpret_cast<LPCWSTR>(&getCurrentModuleHandle), &module)) {
        ZOR_THROW_LAST_ERROR(GetModuleHandleExW, "GetModuleHandleExW failed");
    }
    return module;
}

std::string getModuleFilePath(HMODULE module) {
    return getModulePath(module);
}

std::string getProcessModulePath() {
    return getModulePath(nullptr);
}

std::string getCurrentModulePath() {
    return getModulePath(getCurrentModuleHandle());
}

DWORD getTempDir(std::string& path) {
    return getTempDir(bindGetTempPath2W, path);
}

DWORD getTempDir(TempPathBinding bindSecond, std::string& path) {
    // For LocalSystem GetTempPath2W gives C:\Windows\SystemTemp, which other users cannot write, where
    // GetTempPathW gives C:\Windows\Temp, which every user can; for everyone else the two agree.
    const TempPathQuery second = bindSecond();
    const TempPathQuery query = second ? second : GetTempPathW;
    std::vector<wchar_t> buffer(kInitialBufferSize, L'\0');
    DWORD length = query(static_cast<DWORD>(buffer.size()), buffer.data());
    if (length > buffer.size()) {
        buffer.assign(length, L'\0');
        length = query(length, buffer.data());
    }
    // A value that grew between the two queries does not fit the second buffer either.
    if (length == 0 || length >= buffer.size()) return length == 0 ? queryError() : ERROR_INSUFFICIENT_BUFFER;
    std::string directory = directoryFrom(buffer);
    if (directory.empty()) return ERROR_NO_UNICODE_TRANSLATION;
    path = std::move(directory);
    return ERROR_SUCCESS;
}

std::string getSystemDir() {
    return getSystemDirImpl(GetSystemDirectoryW, "GetSystemDirectory");
}

}  // namespace SysInfo
