// One resource of a loaded module: its bytes in place, and writing them to a file atomically.
#pragma once

#include <cstdint>
#include <string>

#include "common/windows/WinHeaders.h"

class Resource {
public:
    // A resource identified by integer name and type (MAKEINTRESOURCE values) in module.
    Resource(unsigned name, unsigned type, HMODULE module);

    // The resource's bytes, read-only, valid as long as module is loaded; size receives their count.
    // For RT_STRING the identifier selects one string of its block (UTF-16, not NUL-terminated).
    // Throws ZorError<SysError> ("cannot find resource (name='#100', type='#10')", "cannot load resource
    // ...").
    const void* getPtr(std::uint32_t& size) const;

    // Writes the bytes to path: into a new temporary file next to it, then moved into place, so path
    // never holds a partial file. On failure nothing is left at path by this call and no temporary file
    // remains. Throws ZorError<...> or std::ios_base::failure.
    void saveToFile(const std::string& path) const;

private:
    // "<message> (name='#<name>', type='#<type>')"
    std::string describe(const char* message) const;

    std::string nameText_;
    LPCSTR name_;
    std::string typeText_;
    LPCSTR type_;
    HMODULE module_;
};

// The string of a string-table block that an identifier selects: the block holds 16 strings, each a
// 16-bit length followed by that many UTF-16 code units. Returns the first code unit of string
// (id & 15) and its size in bytes.
const void* stringTableEntry(const void* block, unsigned id, std::uint32_t& size);
