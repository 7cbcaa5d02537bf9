#include "StubLocation.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

#include "FilePath.h"

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

std::string findDefaultStub(const std::string& program) {
    const fs::path directory = programDirectory(program);
    for (const fs::path& candidate :
         {directory / stubFileName, directory / ".." / "share" / "kiteboot" / stubFileName})
        if (isFile(candidate)) return pathText(candidate);
    return "";
}

}  // namespace wrap
