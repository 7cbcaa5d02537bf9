// The two file calls kiteboot-wrap needs that standard C++ lacks, made on the system's own terms: a new
// file created only when no file has its name (and, on Windows, that can be deleted by its name while it
// is open, as the interruption handler does), and a file's bytes flushed to the disk.
#pragma once

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace wrap {

struct NewFile {
    std::FILE* file = nullptr;  // open for writing; null when it could not be created
    bool nameTaken = false;     // a file of that name exists
    std::error_code error;
};

NewFile createNewFile(const std::filesystem::path& path);

// Writes the stream's buffer and waits until the system has the bytes on its disk.
bool flushToDisk(std::FILE* file);

}  // namespace wrap
