// The checksum of a Windows executable's optional header, computed over bytes handed in pieces of any size,
// so a file can be summed while it is written.
#pragma once

#include <cstddef>
#include <cstdint>

namespace wrap {

// Sums the file as 16-bit little-endian words with end-around carry; the result adds the file's length.
// The checksum field itself must be handed in as zeros (it is not part of the sum).
class PeChecksum {
public:
    void add(const std::uint8_t* data, std::size_t size);
    // Bytes written at offset in place of zeros that were added before (a field filled in last).
    void addInPlaceOfZeros(std::uint64_t offset, const std::uint8_t* data, std::size_t size);
    // The value for the header of a file of exactly the bytes added.
    std::uint32_t finish() const;

    // A sum of the file's bytes from offset on, made apart (on another thread) and joined to the sum of the
    // bytes before them with join(). Throws WrapError when later does not start where this sum ends.
    static PeChecksum from(std::uint64_t offset);
    void join(const PeChecksum& later);

private:
    std::uint64_t sum_ = 0;  // 32-bit little-endian words; folds to the same 16-bit sum
    std::uint64_t start_ = 0;
    std::uint64_t length_ = 0;  // the offset after the last byte added
};

}  // namespace wrap
