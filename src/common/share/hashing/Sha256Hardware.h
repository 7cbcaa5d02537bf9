// The SHA-256 compression function on the x86-64 SHA extensions. This file's source is the one place that
// knows how each compiler asks the processor what it has and compiles code for an extension.
#pragma once

#include <cstddef>
#include <cstdint>

// The 64 round constants of SHA-256 (FIPS 180-4, 4.2.2), aligned for 128-bit loads; one table for both
// compression functions.
extern const std::uint32_t kSha256Round[64];

// True when this processor has the SHA extensions and SSE4.1 (and the program was built for x86-64).
bool sha256HardwareAvailable();

// Hashes blocks 64-byte blocks into state. Only when sha256HardwareAvailable().
void sha256HardwareBlocks(std::uint32_t state[8], const std::uint8_t* data, std::size_t blocks);
