#include "StubLocation.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

#include "FilePath.h"

#ifdef _WIN32
#include "../../common/windows/WinHeaders.h"
#endif

namespace wrap {

namespace {

namespace fs = std::filesystem;

#ifdef _WIN32
constexpr char pathListSeparator = ';';
#else
constexpr char pathListSeparator = ':';
#endif

bool isFile(const fs::path& path) {
    std::error_code ignored;
    return fs::is_regular_file(path, ignored);
}

// The directory the program was started from.
fs::path programDirectory(const std::string& program) {
    const fs::path path = filePath(program);
    if (path.has_parent_path()) return path.parent_path();
    std::vector<fs::path> directories = {fs::path(".")};
    const char* list = std::getenv("PATH");
    for (std::string rest = list ? list : ""; !rest.empty();) {
        const std::size_t separator = rest.find(pathListSeparator);
        directories.push_back(filePath(rest.substr(0, separator)));
        rest = separator == std::string::npos ? "" : rest.substr(separator + 1);
    }
    for (const fs::path& directory : directories)
        for (const char* suffix : {"", ".exe"})
            if (isFile(directory / filePath(program + suffix))) return directory;
    return {};
}

}  // namespace

#ifdef _WIN32
std::string ownProgramPath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return "";
        if (length < path.size()) {
            path.resize(length);
            return pathText(fs::path(path));
        }
        path.resize(path.size() * 2);
    }
}
#else
std::string ownProgramPath() {
    std::error_code error;
    const fs::path path = fs::read_symlink("/proc/self/exe", error);
    return error ? "" : pathText(path);
}
#endif

std::string findDefaultStub(const std::string& program) {
    const fs::path directory = programDirectory(program);
    for (const fs::path& candidate :
         {directory / stubFileName, directory / ".." / "share" / "kiteboot" / stubFileName})
        if (isFile(candidate)) return pathText(candidate);
    return "";
}

}  // namespace wrap
