// The checksum of an executable's optional header, summed in pieces of any size.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>

#include "ByteOrder.h"
#include "PeChecksum.h"
#include "WrapError.h"

namespace {

using wrap::Bytes;

// The checksum as the system computes it: 16-bit words, carry folded at every step, then the length.
std::uint32_t referenceChecksum(const Bytes& file) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < file.size(); i += 2) {
        sum += file[i] | (i + 1 < file.size() ? file[i + 1] << 8 : 0);
        sum = (sum & 0xffff) + (sum >> 16);
    }
    return sum + static_cast<std::uint32_t>(file.size());
}

TEST(PeChecksum, EqualsTheSystemsAlgorithmForAnyLengthAndAnySplit) {
    std::mt19937 random(7);
    for (std::size_t size : {0u, 1u, 2u, 3u, 5u, 4096u, 4099u, 100003u}) {
        Bytes file(size);
        for (auto& byte : file)
            byte = static_cast<std::uint8_t>(random());
        for (std::size_t piece : {1u, 3u, 4u, 7u, 12u, 65536u}) {
            wrap::PeChecksum checksum;
            for (std::size_t at = 0; at < size; at += piece)
                checksum.add(file.data() + at, std::min(piece, size - at));
            EXPECT_EQ(checksum.finish(), referenceChecksum(file)) << size << " in pieces of " << piece;
        }
    }
    Bytes file4099(4099);
    for (auto& byte : file4099)
        byte = static_cast<std::uint8_t>(random());
    // Sums whose carries need folding more than once at a step: 8 bytes of 0xff (the ones' complement
    // zero), and 131069 words 0xfffffffe, whose sum 0x1fffcfffc0006 leaves a carry after three folds.
    Bytes twoFolds;
    for (int i = 0; i < 131069; ++i)
        twoFolds.insert(twoFolds.end(), {0xfe, 0xff, 0xff, 0xff});
    for (const Bytes& file : {Bytes(8, 0xff), twoFolds}) {
        wrap::PeChecksum checksum;
        checksum.add(file.data(), file.size());
        EXPECT_EQ(checksum.finish(), referenceChecksum(file)) << file.size();
    }
    // A file summed in two parts apart, joined: the whole's checksum wherever it is parted.
    for (std::size_t middle : {0u, 1u, 2u, 3u, 4098u, 4099u}) {
        wrap::PeChecksum first;
        first.add(file4099.data(), middle);
        wrap::PeChecksum later = wrap::PeChecksum::from(middle);
        later.add(file4099.data() + middle, file4099.size() - middle);
        first.join(later);
        EXPECT_EQ(first.finish(), referenceChecksum(file4099)) << "parted at " << middle;
    }
    wrap::PeChecksum ahead;
    ahead.add(file4099.data(), 8);
    EXPECT_THROW(ahead.join(wrap::PeChecksum::from(4)), wrap::WrapError);
    // A field written as zeros and filled in last (the payload's SHA-256), at even and odd offsets.
    Bytes file(4099);
    for (auto& byte : file)
        byte = static_cast<std::uint8_t>(random());
    for (std::size_t at : {0u, 1u, 2u, 3u, 24u, 4067u}) {
        Bytes zeroed = file;
        std::fill_n(zeroed.begin() + static_cast<std::ptrdiff_t>(at), 32, 0);
        wrap::PeChecksum checksum;
        checksum.add(zeroed.data(), zeroed.size());
        checksum.addInPlaceOfZeros(at, file.data() + at, 32);
        EXPECT_EQ(checksum.finish(), referenceChecksum(file)) << "filled in at " << at;
    }
}

}  // namespace
