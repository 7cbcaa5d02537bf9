// Writes what the module and directory queries answer in this process to the file named by its first
// argument, one answer per line: process module path, current module path, temporary directory, system
// directory, and the executable's path as GetModuleFileNameW gives it (UTF-8), for comparison.
// A query that throws ends the run with exit code 3 and "error: <what>" as the last line.
#include <exception>
#include <fstream>
#include <string>

#include "common/share/tstrings.h"
#include "common/windows/WinHeaders.h"
#include "windows/common/SysInfo.h"

namespace {

std::string wideModulePath() {
    std::wstring path(32768, L'\0');
    path.resize(GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size())));
    return tstrings::toUtf8(path);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    std::ofstream out(argv[1], std::ios::binary);
    try {
        out << SysInfo::getProcessModulePath() << "\n";
        out << SysInfo::getCurrentModulePath() << "\n";
        std::string tempDir;  // an empty line where there is none, as the probe has always answered
        out << (SysInfo::getTempDir(tempDir) == ERROR_SUCCESS ? tempDir : std::string()) << "\n";
        out << SysInfo::getSystemDir() << "\n";
        out << wideModulePath() << "\n";
    } catch (const std::exception& error) {
        out << "error: " << error.what() << "\n";
        return 3;
    }
    return out ? 0 : 1;
}
