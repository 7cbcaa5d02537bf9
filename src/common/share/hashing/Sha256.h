// SHA-256 (FIPS 180-4) over bytes handed in pieces of any size, so a file can be hashed while it is copied.
// Standard C++ only; where the processor has the SHA extensions the blocks are hashed with them
// (Sha256Hardware), at about the speed of a memory copy, otherwise in portable code.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

class Sha256 {
public:
    using Digest = std::array<std::uint8_t, 32>;

    Sha256();

    void add(const void* data, std::size_t size);
    // The digest of every byte added. Call once; the object is spent afterwards.
    Digest finish();

    // The digest in lower-case hexadecimal, as sha256sum prints it.
    static std::string hex(const Digest& digest);

private:
    void addBlocks(const std::uint8_t* data, std::size_t blocks);

    std::uint32_t state_[8];
    std::uint8_t pending_[64] = {};
    std::size_t pendingSize_ = 0;
    std::uint64_t length_ = 0;
    bool hardware_;
};

// The compression function in portable code, one 64-byte block after another (exposed so the tests can
// hold the hardware blocks against it).
void sha256PortableBlocks(std::uint32_t state[8], const std::uint8_t* data, std::size_t blocks);
