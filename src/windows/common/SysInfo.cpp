#include "windows/common/SysInfo.h"

#include <algorithm>
#include <vector>

#include "common/windows/WinErrorHandling.h"
#include "windows/common/FileUtils.h"

namespace SysInfo {

namespace {

constexpr DWORD kInitialBufferSize = MAX_PATH;

// The buffer's text up to its first NUL, without trailing separators.
std::string directoryFrom(const std::vector<char>& buffer) {
    // A query that filled the whole buffer leaves no NUL in it; the text then ends with the buffer.
    const auto end = std::find(buffer.begin(), buffer.end(), '\0');
    return FileUtils::stripTrailingSeparators(std::string(buffer.begin(), end));
}

std::string getModulePath(HMODULE module) {
    std::vector<char> buffer(kInitialBufferSize, '\0');
    DWORD length = 0;
    for (;;) {
        length = GetModuleFileNameA(module, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length < buffer.size()) break;
        buffer.resize(buffer.size() * 2, '\0');
    }
    if (length == 0) ZOR_THROW_LAST_ERROR(GetModuleFileNameA, "GetModuleFileName failed");
    return std::string(buffer.data(), length);
}

using DirectoryQuery = UINT(WINAPI*)(LPSTR buffer, UINT size);

std::string getSystemDirImpl(DirectoryQuery query, const char* name) {
    std::vector<char> buffer(kInitialBufferSize, '\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        const UINT length = query(buffer.data(), static_cast<UINT>(buffer.size()));
        if (length == 0) ZOR_THROW_LAST_ERROR(query, name << " failed");
        if (length < buffer.size()) return directoryFrom(buffer);
        buffer.resize(length + 1, '\0');
    }
    ZOR_THROW_RUNTIME_ERROR("Unexpected reply from " << name);
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

std::string getTempDir() {
    std::vector<char> buffer(kInitialBufferSize, '\0');
    const DWORD length = GetTempPathA(static_cast<DWORD>(buffer.size()), buffer.data());
    if (length > buffer.size()) {
        buffer.assign(length, '\0');
        GetTempPathA(length, buffer.data());
    }
    return directoryFrom(buffer);
}

std::string getSystemDir() {
    return getSystemDirImpl(GetSystemDirectoryA, "GetSystemDirectory");
}

}  // namespace SysInfo
