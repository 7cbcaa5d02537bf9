#include "PeChecksum.h"

#include <string>

#include "ByteOrder.h"
#include "WrapError.h"

namespace wrap {

namespace {

std::uint32_t fold16(std::uint64_t sum) {
    while (sum >> 16)
        sum = (sum & 0xffff) + (sum >> 16);
    return static_cast<std::uint32_t>(sum);
}

// The sum of the little-endian 32-bit words of size bytes (a multiple of 4), two words at a time into two
// sums: a word at a time, the sum ran at a third of this speed. 2^32 words fit in 64 bits before a fold.
std::uint64_t sumOfWords(const std::uint8_t* data, std::size_t size) {
    std::uint64_t low = 0, high = 0;
    std::size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        low += getU32(data + i);
        high += getU32(data + i + 4);
    }
    if (i < size) low += getU32(data + i);
    return fold16(low) + fold16(high);
}

}  // namespace

void PeChecksum::add(const std::uint8_t* data, std::size_t size) {
    // A byte's weight in a 32-bit word depends on its offset in the file; 2^16 = 1 modulo 0xffff, so the
    // four places fold into two.
    while (size > 0 && length_ % 4 != 0) {
        sum_ += static_cast<std::uint64_t>(*data) << (8 * (length_ % 4));
        ++data;
        --size;
        ++length_;
    }
    const std::size_t whole = size / 4 * 4;
    sum_ += fold16(sumOfWords(data, whole));
    length_ += whole;
    for (std::size_t i = whole; i < size; ++i) {
        sum_ += static_cast<std::uint64_t>(data[i]) << (8 * (length_ % 4));
        ++length_;
    }
    sum_ = fold16(sum_);
}

void PeChecksum::addInPlaceOfZeros(std::uint64_t offset, const std::uint8_t* data, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i)
        sum_ = fold16(sum_ + (static_cast<std::uint64_t>(data[i]) << (8 * ((offset + i) % 4))));
}

PeChecksum PeChecksum::from(std::uint64_t offset) {
    PeChecksum later;
    later.start_ = offset;
    later.length_ = offset;
    return later;
}

// A byte's weight depends only on its offset in the file, which each sum counts from its start: the two
// sums add up to the sum of the whole.
void PeChecksum::join(const PeChecksum& later) {
    if (later.start_ != length_)
        throw WrapError("a checksum summed from " + std::to_string(later.start_) +
                        " joined to one that ends at " + std::to_string(length_));
    sum_ = fold16(sum_ + later.sum_);
    length_ = later.length_;
}

std::uint32_t PeChecksum::finish() const {
    return static_cast<std::uint32_t>(fold16(sum_) + length_);
}

}  // namespace wrap
