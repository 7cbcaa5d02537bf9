// The unavoidable work of a launch, done by the system's own copy: copies the file named by the first
// argument into a new directory in TEMP with CopyFileA, then deletes the copy and the directory.
//
//   bench_copy.exe <file>        exit code 0, or the Windows error code of the step that failed
#include <string>

#include "common/windows/WinHeaders.h"

namespace {

// The run's temporary directory followed by a name of this process's own.
std::string newDirectoryPath() {
    char temp[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathA(MAX_PATH + 1, temp);
    return std::string(temp, length) + "copy" + std::to_string(GetCurrentProcessId()) + ".tmp";
}

// Removes the directory when the program leaves, whatever happened in it.
struct DirectoryRemover {
    ~DirectoryRemover() { RemoveDirectoryA(path.c_str()); }
    std::string path;
};

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    if (__argc < 2) return ERROR_BAD_ARGUMENTS;
    const std::string directory = newDirectoryPath();
    if (!CreateDirectoryA(directory.c_str(), nullptr)) return static_cast<int>(GetLastError());
    const DirectoryRemover remover{directory};
    const std::string copy = directory + "\\payload.exe";
    if (!CopyFileA(__argv[1], copy.c_str(), TRUE)) return static_cast<int>(GetLastError());
    if (!DeleteFileA(copy.c_str())) return static_cast<int>(GetLastError());
    return 0;
}
