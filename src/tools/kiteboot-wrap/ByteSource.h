// Bytes someone else made (the stub, the payload's headers), read at offsets. Every read is checked against
// the bytes that exist before anything is read or sized from it, so no caller checks by hand and none can
// forget: a damaged file is refused with a sentence that names what was wanted and where.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "ByteOrder.h"

namespace wrap {

class InputFile;

// Reads up to count bytes at offset; fewer when the bytes end before.
using ReadAt = std::function<Bytes(std::uint64_t offset, std::size_t count)>;
// The same into a buffer the caller holds; the count read.
using ReadInto = std::function<std::size_t(std::uint64_t offset, std::uint8_t* buffer, std::size_t count)>;

// True when count bytes at offset lie within size bytes. Compares with what is left, so nothing overflows.
constexpr bool fitsWithin(std::uint64_t offset, std::uint64_t count, std::uint64_t size) {
    return offset <= size && count <= size - offset;
}

class ByteSource {
public:
    // owner names the file in messages ("stub 'setup.exe'"); extent names these bytes ("the file").
    // readInto, when given, serves read(); otherwise read() copies what read gives.
    ByteSource(std::string owner, std::string extent, std::uint64_t size, ReadAt read,
               ReadInto readInto = {});
    // The file's bytes, read as they are needed. file must outlive the source.
    static ByteSource ofFile(std::string owner, InputFile& file);
    // Bytes held in memory. bytes must outlive the source.
    static ByteSource ofBytes(std::string owner, const Bytes& bytes);

    std::uint64_t size() const { return size_; }
    const std::string& owner() const { return owner_; }

    // Each throws WrapError naming what when the count bytes at offset are not all there.
    void need(std::uint64_t offset, std::uint64_t count, const std::string& what) const;
    Bytes bytes(std::uint64_t offset, std::uint64_t count, const std::string& what) const;
    std::uint16_t u16(std::uint64_t offset, const std::string& what) const;
    std::uint32_t u32(std::uint64_t offset, const std::string& what) const;
    // count bytes at offset into buffer, with no memory taken: for a pass over a whole large file.
    void read(std::uint64_t offset, std::uint8_t* buffer, std::size_t count, const std::string& what) const;
    // count bytes at offset as a source of their own (offsets from 0), named extent in messages.
    ByteSource part(std::uint64_t offset, std::uint64_t count, const std::string& extent) const;

    // Throws WrapError: "<owner> is damaged: <problem>".
    [[noreturn]] void fail(const std::string& problem) const;

private:
    std::string owner_;
    std::string extent_;
    std::uint64_t base_ = 0;
    std::uint64_t size_ = 0;
    ReadAt read_;
    ReadInto readInto_;
};

// A number in hexadecimal, as offsets and fields are shown in messages ("0x7fffffff").
std::string hexNumber(std::uint64_t value);

}  // namespace wrap
