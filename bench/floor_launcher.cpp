// The floor of a launch: only what no launcher can avoid. It finds its resource 100, writes it into a new
// directory in TEMP, starts it, waits for it, deletes the file and the directory and exits with the
// payload's exit code. No security, no checks of the directory, no log.
//
// Built three times: BENCH_FLOOR_PIECE 0 writes the payload from the mapped image in one write; any other
// value writes it in pieces of that many bytes; with BENCH_FLOOR_FROM_FILE 1 as well, each piece is read
// from the program's own file at the resource's offset (what the launcher does, without its proof that
// the file is its own).
//
// A failed step ends the program with 0xF100 + the step's number, so that a broken run is never timed as
// a good one.
#include <string>
#include <vector>

#include "common/windows/WinHeaders.h"
#include "windows/common/ImageLayout.h"

namespace {

constexpr int kFailed = 0xF100;
constexpr DWORD kPiece = BENCH_FLOOR_PIECE;
constexpr bool kFromFile = BENCH_FLOOR_FROM_FILE;

// Closes a handle when the program leaves.
struct HandleCloser {
    ~HandleCloser() {
        if (handle != nullptr && handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    }
    HANDLE handle;
};

// Deletes the extracted file, then its directory, when the program leaves.
struct Extraction {
    ~Extraction() {
        DeleteFileA(file.c_str());
        RemoveDirectoryA(directory.c_str());
    }
    std::string directory;
    std::string file;
};

// Writes size bytes from the program's own file, starting at offset, in pieces of kPiece bytes.
bool copyFromOwnFile(HANDLE out, DWORD offset, DWORD size) {
    char path[MAX_PATH + 1] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH + 1);
    const HandleCloser self{CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_SEQUENTIAL_SCAN, nullptr)};
    if (self.handle == INVALID_HANDLE_VALUE ||
        SetFilePointer(self.handle, static_cast<LONG>(offset), nullptr, FILE_BEGIN) != offset)
        return false;
    std::vector<char> buffer(kPiece);
    for (DWORD done = 0; done < size;) {
        const DWORD count = size - done < kPiece ? size - done : kPiece;
        DWORD read = 0, written = 0;
        if (!ReadFile(self.handle, buffer.data(), count, &read, nullptr) || read != count ||
            !WriteFile(out, buffer.data(), count, &written, nullptr) || written != count)
            return false;
        done += count;
    }
    return true;
}

int launch() {
    HMODULE self = GetModuleHandleA(nullptr);
    HRSRC found = FindResourceA(self, MAKEINTRESOURCEA(100), MAKEINTRESOURCEA(10));
    HGLOBAL loaded = found ? LoadResource(self, found) : nullptr;
    if (!loaded) return kFailed + 1;
    const void* data = LockResource(loaded);
    DWORD size = SizeofResource(self, found);

    char temp[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathA(MAX_PATH + 1, temp);
    Extraction extraction;
    extraction.directory =
        std::string(temp, length) + "floor" + std::to_string(GetCurrentProcessId()) + ".tmp";
    if (!CreateDirectoryA(extraction.directory.c_str(), nullptr)) return kFailed + 2;
    extraction.file = extraction.directory + "\\setup.exe";
    {
        // A new file: no truncation, so the file system does not flush it when it is closed.
        const HandleCloser file{CreateFileA(extraction.file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                            FILE_ATTRIBUTE_NORMAL, nullptr)};
        if (file.handle == INVALID_HANDLE_VALUE) return kFailed + 3;
        if (kFromFile) {
            const auto rva =
                static_cast<std::uint32_t>(static_cast<const char*>(data) - reinterpret_cast<char*>(self));
            const std::optional<std::uint64_t> offset = fileOffsetOf(imageSections(self), rva, size);
            if (!offset || !copyFromOwnFile(file.handle, static_cast<DWORD>(*offset), size))
                return kFailed + 3;
            size = 0;  // nothing left to write from the image
        }
        const char* bytes = static_cast<const char*>(data);
        const DWORD piece = kPiece == 0 ? size : kPiece;
        for (DWORD offset = 0; offset < size;) {
            const DWORD count = size - offset < piece ? size - offset : piece;
            DWORD written = 0;
            if (!WriteFile(file.handle, bytes + offset, count, &written, nullptr) || written != count)
                return kFailed + 3;
            offset += count;
        }
    }

    std::string commandLine = "\"" + extraction.file + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(extraction.file.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                        CREATE_NO_WINDOW, nullptr, extraction.directory.c_str(), &startup, &info))
        return kFailed + 4;
    const HandleCloser process{info.hProcess};
    const HandleCloser thread{info.hThread};
    DWORD exitCode = 0;
    if (WaitForSingleObject(info.hProcess, INFINITE) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(info.hProcess, &exitCode))
        return kFailed + 5;
    return static_cast<int>(exitCode);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    return launch();
}
