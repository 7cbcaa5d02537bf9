#include "PeChecksum.h"

#include "ByteOrder.h"

namespace wrap {

namespace {

std::uint32_t fold16(std::uint64_t sum) {
    while (sum >> 16)
        sum = (sum & 0xffff) + (sum >> 16);
    return static_cast<std::uint32_t>(sum);
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
    std::uint64_t words = 0;
    const std::size_t whole = size / 4 * 4;
    for (std::size_t i = 0; i < whole; i += 4)
        words += getU32(data + i);
    sum_ += fold16(words);
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

std::uint32_t PeChecksum::finish() const {
    return static_cast<std::uint32_t>(fold16(sum_) + length_);
}

}  // namespace wrap
