// One resource of a loaded module: its bytes in place, and writing them out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <string>

#include "common/windows/WinHeaders.h"

class Resource {
public:
    // A resource identified by integer name and type (MAKEINTRESOURCE values) in module.
    Resource(unsigned name, unsigned type, HMODULE module);

    // True when the module has the resource.
    bool exists() const;

    // The resource's bytes, read-only, valid as long as module is loaded; size receives their count.
    // For RT_STRING the identifier selects one string of its block (UTF-16, not NUL-terminated).
    // Throws ZorError<SysError> ("cannot find resource (name='#100', type='#10')", "cannot load resource
    // ...").
    const void* getPtr(std::uint32_t& size) const;

    // Where writeTo read the bytes from.
    enum class Source {
        ModuleFile,   // all of them from the module's own file, proven to be the one it was mapped from
        MappedImage,  // some or all from the mapped image (the file could not be proven or read)
    };

    // Writes the bytes to out, in order. They are read from the module's own file where it is proven to be
    // the file the module was mapped from, otherwise from the mapped image; the result is the same. Throws
    // ZorError<...> for a missing resource, and what out throws (std::ios_base::failure with exceptions on).
    Source writeTo(std::ostream& out) const;

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

// The largest piece of a resource that Resource::writeTo reads or hands to one write. On a Linux virtual
// machine that hands free memory back to its host, one large write after a few idle seconds stalls while the
// page cache gets large blocks of memory back (launch under Wine, 151 MiB: 0.41 s with one write, 0.11 s with
// pieces of 256 KiB; 512 MiB: 1.34 s and 0.23 s). Launched back to back the pieces cost nothing measurable.
constexpr std::size_t kResourceWritePiece = 256 * 1024;

// Writes size bytes from data to out, in order, in pieces of at most piece bytes (piece > 0). Stops at the
// first piece that fails: a stream with exceptions enabled throws, any other is left failed.
void writeInPieces(std::ostream& out, const char* data, std::size_t size, std::size_t piece);

// Copies size bytes from file, starting at offset, to out in pieces of at most piece bytes through one
// buffer of that size. Returns how many bytes were copied: size, or fewer when a read fails or comes up
// short (then nothing of that piece was written). A failed write throws or leaves out failed, as above.
std::size_t copyFromFile(std::ostream& out, HANDLE file, std::uint64_t offset, std::size_t size,
                         std::size_t piece);
