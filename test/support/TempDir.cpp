#include "support/TempDir.h"

#include <algorithm>
#include <atomic>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "common/share/tstrings.h"
#include "common/windows/WinAutoHandle.h"
#include "common/windows/WinHeaders.h"

namespace testing_support {

namespace {

std::string processTempDir() {
    char buffer[MAX_PATH + 1] = {};
    GetTempPathA(MAX_PATH + 1, buffer);
    std::string path(buffer);
    while (!path.empty() && (path.back() == '\\' || path.back() == '/'))
        path.pop_back();
    return path;
}

}  // namespace

TempDir::TempDir(const std::string& prefix) {
    static std::atomic<unsigned> counter{0};
    const std::string base = processTempDir();
    for (;;) {
        std::ostringstream name;
        name << base << "\\" << prefix << GetCurrentProcessId() << "_" << counter++ << "_" << GetTickCount();
        if (CreateDirectoryA(name.str().c_str(), nullptr)) {
            path_ = name.str();
            return;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) throw std::runtime_error("cannot create " + name.str());
    }
}

TempDir::~TempDir() {
    removeAll(path_);
}

void writeFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary);
    out << content;
    if (!out) throw std::runtime_error("cannot write " + path);
}

std::string readFile(const std::string& path) {
    // Shared for deletion too: a program that renames a finished file into place (the probe its report)
    // holds it with delete access until it closes it, and an open without that sharing fails meanwhile.
    const UniqueHandle file(CreateFileW(tstrings::fromUtf8(path).c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot read " + path);
    std::string content;
    char buffer[65536];
    DWORD read = 0;
    do {
        if (!ReadFile(file.get(), buffer, sizeof(buffer), &read, nullptr))
            throw std::runtime_error("cannot read " + path);
        content.append(buffer, read);
    } while (read > 0);
    return content;
}

bool exists(const std::string& path) {
    return GetFileAttributesW(tstrings::fromUtf8(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool isDirectory(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(tstrings::fromUtf8(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::vector<std::string> listDirectory(const std::string& path) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(tstrings::fromUtf8(path + "\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        const std::string name = tstrings::toUtf8(data.cFileName);
        if (name != "." && name != "..") names.push_back(name);
    } while (FindNextFileW(find, &data));
    FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

namespace {

// Works on wide "\\?\" paths, so that trees deeper than MAX_PATH characters go too.
void removeAllWide(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    SetFileAttributesW(path.c_str(), attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        DeleteFileW(path.c_str());
        return;
    }
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = data.cFileName;
            if (name != L"." && name != L"..") names.push_back(name);
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    for (const std::wstring& name : names)
        removeAllWide(path + L"\\" + name);
    RemoveDirectoryW(path.c_str());
}

std::string environmentValue(const char* name) {
    char value[32768] = {};
    GetEnvironmentVariableA(name, value, sizeof(value));
    return value;
}

}  // namespace

TempOverride::TempOverride(const std::string& path)
    : savedTemp_(environmentValue("TEMP")), savedTmp_(environmentValue("TMP")) {
    SetEnvironmentVariableA("TEMP", path.c_str());
    SetEnvironmentVariableA("TMP", path.c_str());
}

TempOverride::~TempOverride() {
    SetEnvironmentVariableA("TEMP", savedTemp_.c_str());
    SetEnvironmentVariableA("TMP", savedTmp_.c_str());
}

std::wstring longPath(const std::string& path) {
    std::wstring wide = tstrings::fromUtf8(path);
    const bool absolute = wide.size() >= 3 && wide[1] == L':' && wide[2] == L'\\';
    return absolute ? L"\\\\?\\" + wide : wide;
}

void removeAll(const std::string& path) {
    removeAllWide(longPath(path));
}

}  // namespace testing_support
