// A fingerprint of bytes handed in pieces of any size, to tell whether a copy holds what was written: many
// times faster than SHA-256 and, for bytes changed by accident (a failed write, a short read, another
// program's write), as unlikely to repeat. Not a defence against anyone who chooses the bytes: the SHA-256
// in a payload's record is that.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace wrap {

class CopyFingerprint {
public:
    using Value = std::array<std::uint64_t, 4>;

    CopyFingerprint();
    void add(const std::uint8_t* data, std::size_t size);
    // The fingerprint of every byte added, their count included.
    Value finish() const;

private:
    static constexpr std::size_t kBlockSize = 32;  // one 64-bit word for each of the four lanes

    void addBlocks(const std::uint8_t* data, std::size_t blocks);

    Value lanes_;
    std::uint8_t partial_[kBlockSize] = {};
    std::size_t partialSize_ = 0;
    std::uint64_t length_ = 0;
};

}  // namespace wrap
