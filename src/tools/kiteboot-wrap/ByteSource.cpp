#include "ByteSource.h"

#include <algorithm>
#include <cstdio>

#include "InputFile.h"
#include "WrapError.h"

namespace wrap {

ByteSource::ByteSource(std::string owner, std::string extent, std::uint64_t size, ReadAt read,
                       ReadInto readInto)
    : owner_(std::move(owner)),
      extent_(std::move(extent)),
      size_(size),
      read_(std::move(read)),
      readInto_(std::move(readInto)) {}

ByteSource ByteSource::ofFile(std::string owner, InputFile& file) {
    return ByteSource(
        std::move(owner), "the file", file.size(),
        [&file](std::uint64_t offset, std::size_t count) { return file.readAt(offset, count); },
        [&file](std::uint64_t offset, std::uint8_t* buffer, std::size_t count) {
            return file.readInto(offset, buffer, count);
        });
}

ByteSource ByteSource::ofBytes(std::string owner, const Bytes& bytes) {
    return ByteSource(std::move(owner), "the file", bytes.size(),
                      [&bytes](std::uint64_t offset, std::size_t count) {
                          const auto begin = bytes.begin() + static_cast<std::ptrdiff_t>(offset);
                          return Bytes(begin, begin + static_cast<std::ptrdiff_t>(count));
                      });
}

void ByteSource::read(std::uint64_t offset, std::uint8_t* buffer, std::size_t count,
                      const std::string& what) const {
    need(offset, count, what);
    if (!readInto_) {
        const Bytes read = bytes(offset, count, what);
        std::copy(read.begin(), read.end(), buffer);
        return;
    }
    if (readInto_(base_ + offset, buffer, count) != count)
        fail(what + " could not be read: the file became shorter");
}

void ByteSource::need(std::uint64_t offset, std::uint64_t count, const std::string& what) const {
    if (!fitsWithin(offset, count, size_))
        fail(what + ": " + std::to_string(count) + " bytes at " + hexNumber(offset) + " pass the end of " +
             extent_ + " (" + std::to_string(size_) + " bytes)");
}

Bytes ByteSource::bytes(std::uint64_t offset, std::uint64_t count, const std::string& what) const {
    need(offset, count, what);
    Bytes read = read_(base_ + offset, static_cast<std::size_t>(count));
    if (read.size() != count) fail(what + " could not be read: the file became shorter");
    return read;
}

std::uint16_t ByteSource::u16(std::uint64_t offset, const std::string& what) const {
    return getU16(bytes(offset, 2, what).data());
}

std::uint32_t ByteSource::u32(std::uint64_t offset, const std::string& what) const {
    return getU32(bytes(offset, 4, what).data());
}

ByteSource ByteSource::part(std::uint64_t offset, std::uint64_t count, const std::string& extent) const {
    need(offset, count, extent);
    ByteSource part(owner_, extent, count, read_, readInto_);
    part.base_ = base_ + offset;
    return part;
}

void ByteSource::fail(const std::string& problem) const {
    throw WrapError(owner_ + " is damaged: " + problem);
}

std::string hexNumber(std::uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(value));
    return text;
}

}  // namespace wrap
