// Little-endian numbers in byte buffers: the byte order of every field of a Windows executable, whatever
// the byte order of the machine that runs kiteboot-wrap.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace wrap {

using Bytes = std::vector<std::uint8_t>;

inline std::uint16_t getU16(const std::uint8_t* at) {
    return static_cast<std::uint16_t>(at[0] | (at[1] << 8));
}

inline std::uint32_t getU32(const std::uint8_t* at) {
    return static_cast<std::uint32_t>(at[0]) | (static_cast<std::uint32_t>(at[1]) << 8) |
           (static_cast<std::uint32_t>(at[2]) << 16) | (static_cast<std::uint32_t>(at[3]) << 24);
}

inline void putU16(std::uint8_t* at, std::uint16_t value) {
    at[0] = static_cast<std::uint8_t>(value);
    at[1] = static_cast<std::uint8_t>(value >> 8);
}

inline void putU32(std::uint8_t* at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

inline void appendU16(Bytes& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

inline void appendU32(Bytes& out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// The text's UTF-16 units, without a terminating zero.
inline void appendUtf16(Bytes& out, const std::u16string& text) {
    for (char16_t unit : text)
        appendU16(out, unit);
}

// Zero bytes up to the next multiple of alignment (a power of two).
inline void padTo(Bytes& out, std::size_t alignment) {
    out.resize((out.size() + alignment - 1) & ~(alignment - 1), 0);
}

inline std::uint64_t alignUp(std::uint64_t value, std::uint64_t alignment) {
    return (value + alignment - 1) / alignment * alignment;
}

}  // namespace wrap
