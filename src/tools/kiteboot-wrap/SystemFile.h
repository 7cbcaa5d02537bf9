// The file calls kiteboot-wrap needs that standard C++ lacks, made on the system's own terms: a new file
// created only when no file has its name (and, on Windows, that can be deleted by its name while it is
// open, as the interruption handler does), read back at an offset, given another file's permissions, and
// its bytes flushed to the disk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

namespace wrap {

// Each function throws WrapError(failure, the system's code) when the system refuses; failure names the
// action and the file ("cannot write 'setup.exe.1a2b3c4d.tmp'").

// A new file at path, open for writing and reading, created only when no file has that name: null when one
// has. On POSIX systems its mode is 0777 less the umask, as a linker's output is.
std::FILE* createNewFile(const std::filesystem::path& path, const std::string& failure);

// Up to size bytes at offset into buffer, after the stream's buffer is written; the count read (fewer at the
// file's end).
std::size_t readFileAt(std::FILE* file, std::uint64_t offset, std::uint8_t* buffer, std::size_t size,
                       const std::string& failure);

// Gives file the permission bits (read, write, execute) of the file at from. Windows keeps no such bits:
// there it does nothing.
void copyPermissions(std::FILE* file, const std::filesystem::path& from, const std::string& failure);

// Writes the stream's buffer and asks the system to start writing the bytes in [offset, offset + size) to
// its disk now, without waiting for them: the final flush then finds most of a large file on the disk
// already. Where the system has no such request (Windows), it only writes the stream's buffer.
void startWritingToDisk(std::FILE* file, std::uint64_t offset, std::uint64_t size,
                        const std::string& failure);

// Writes the stream's buffer and waits until the system has the bytes on its disk.
void flushToDisk(std::FILE* file, const std::string& failure);

}  // namespace wrap
