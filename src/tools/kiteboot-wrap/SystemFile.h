// The file calls kiteboot-wrap needs that standard C++ lacks, made on the system's own terms: a new file
// created only when no file has its name (and, on Windows, that can be deleted by its name while it is
// open, as the interruption handler does), read back at an offset, given another file's permissions, and
// its bytes flushed to the disk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace wrap {

struct NewFile {
    std::FILE* file = nullptr;  // open for writing and reading; null when it could not be created
    bool nameTaken = false;     // a file of that name exists
    std::error_code error;
};

// On POSIX systems the file's mode is 0777 less the umask, as a linker's output is.
NewFile createNewFile(const std::filesystem::path& path);

// Up to size bytes at offset into buffer, after the stream's buffer is written; the count read (fewer at
// the file's end), or -1 when the read fails (errno, or on Windows the last error, says why).
long long readFileAt(std::FILE* file, std::uint64_t offset, std::uint8_t* buffer, std::size_t size);

// Gives file the permission bits (read, write, execute) of the file at from. Windows keeps no such bits:
// there it does nothing. False when it fails (errno says why).
bool copyPermissions(std::FILE* file, const std::filesystem::path& from);

// Writes the stream's buffer and waits until the system has the bytes on its disk.
bool flushToDisk(std::FILE* file);

}  // namespace wrap
