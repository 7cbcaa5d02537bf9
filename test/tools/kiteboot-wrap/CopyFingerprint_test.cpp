#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "CopyFingerprint.h"

namespace {

wrap::CopyFingerprint::Value fingerprintOf(const std::vector<std::uint8_t>& bytes, std::size_t piece) {
    wrap::CopyFingerprint fingerprint;
    for (std::size_t at = 0; at < bytes.size(); at += piece)
        fingerprint.add(bytes.data() + at, std::min(piece, bytes.size() - at));
    return fingerprint.finish();
}

// The same bytes give the same fingerprint in pieces of any size; a bit changed anywhere (in a whole block,
// in the last short one), a zero added at the end or two words of one lane swapped give another.
TEST(CopyFingerprint, TellsCopiesThatDifferWhateverThePieces) {
    std::vector<std::uint8_t> bytes(1000);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 13 + (i >> 7));
    const wrap::CopyFingerprint::Value whole = fingerprintOf(bytes, bytes.size());
    for (const std::size_t piece : {1, 7, 31, 32, 33, 999})
        EXPECT_EQ(fingerprintOf(bytes, piece), whole) << "pieces of " << piece;

    for (const std::size_t bit : {0, 7, 8 * 31, 8 * 500 + 3, 8 * 999 + 7}) {
        std::vector<std::uint8_t> changed = bytes;
        changed[bit / 8] ^= static_cast<std::uint8_t>(1u << (bit % 8));
        EXPECT_NE(fingerprintOf(changed, 64), whole) << "bit " << bit;
    }
    std::vector<std::uint8_t> longer = bytes;
    longer.push_back(0);
    EXPECT_NE(fingerprintOf(longer, 64), whole) << "a zero added";
    std::vector<std::uint8_t> swapped = bytes;
    std::swap_ranges(swapped.begin(), swapped.begin() + 8, swapped.begin() + 32);
    EXPECT_NE(fingerprintOf(swapped, 64), whole) << "two words of one lane swapped";
    EXPECT_NE(fingerprintOf({}, 1), whole) << "nothing";
}

}  // namespace
