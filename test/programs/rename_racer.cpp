// The user's program racing the launcher: renames directories with MoveFileExW, in a loop, until the file
// <stop> exists (60 s at most). When <target> itself can be renamed away, <decoy> is put under its name and
// the racer has won. Writes what happened to <result>: "won", or "refused <count> <last error>".
//   rename_racer.exe <result> <stop> <decoy> <target> [<other directory>...]
#include <cstdio>
#include <cwchar>
#include <string>

#include "common/windows/WinHeaders.h"

namespace {

bool exists(const wchar_t* path) {
    return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
}

bool renameAway(const std::wstring& directory) {
    return MoveFileExW(directory.c_str(), (directory + L"-away").c_str(), 0) != 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 5) return 2;
    const wchar_t* result = argv[1];
    const wchar_t* stop = argv[2];
    const std::wstring decoy = argv[3];
    const std::wstring target = argv[4];
    unsigned long refused = 0;
    DWORD lastError = ERROR_SUCCESS;
    bool won = false;
    for (DWORD start = GetTickCount(); !won && !exists(stop) && GetTickCount() - start < 60000;) {
        for (int i = 4; i < argc && !won; ++i) {
            if (!renameAway(argv[i])) {
                ++refused;
                lastError = GetLastError();
            } else if (argv[i] == target) {
                won = MoveFileExW(decoy.c_str(), target.c_str(), 0) != 0;
            } else {
                MoveFileExW((std::wstring(argv[i]) + L"-away").c_str(), argv[i], 0);  // the world as it was
                won = true;
            }
        }
    }
    FILE* out = _wfopen(result, L"w");
    if (!out) return 3;
    if (won) {
        std::fprintf(out, "won");
    } else {
        std::fprintf(out, "refused %lu %lu", refused, lastError);
    }
    std::fclose(out);
    return 0;
}
