// Writes what the module and directory queries answer in this process to the file named by its first
// argument, one answer per line: process module path, current module path, temporary directory,
// system directory.
#include <fstream>

#include "windows/common/SysInfo.h"

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    std::ofstream out(argv[1], std::ios::binary);
    out << SysInfo::getProcessModulePath() << "\n"
        << SysInfo::getCurrentModulePath() << "\n"
        << SysInfo::getTempDir() << "\n"
        << SysInfo::getSystemDir() << "\n";
    return out ? 0 : 1;
}
