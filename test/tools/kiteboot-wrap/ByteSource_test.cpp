// Bounded reads of bytes someone else made.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>

#include "ByteSource.h"
#include "WrapError.h"

namespace {

using wrap::Bytes;

TEST(ByteSource, ReadsOnlyWhatLiesWithinWithoutOverflowAndNamesWhatWasWanted) {
    const struct {
        std::uint64_t offset, count, size;
        bool fits;
    } cases[] = {
        {0, 0, 0, true},
        {0, 10, 10, true},
        {10, 0, 10, true},
        {9, 2, 10, false},
        {11, 0, 10, false},
        {~std::uint64_t{0}, 2, 10, false},      // offset + count wraps to 1
        {2, ~std::uint64_t{0} - 1, 10, false},  // so does this one
        {0x7fffffff, 0x7fffffff, 0x100000000, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(wrap::fitsWithin(c.offset, c.count, c.size), c.fits) << c.offset << " " << c.count;

    const Bytes file = {1, 2, 3, 4, 5, 6, 7, 8};
    const wrap::ByteSource source = wrap::ByteSource::ofBytes("stub 's.exe'", file);
    EXPECT_EQ(source.u32(4, "x"), 0x08070605u);
    const wrap::ByteSource part = source.part(2, 4, "its part");
    EXPECT_EQ(part.u16(2, "x"), 0x0605u);
    const struct {
        std::function<void()> read;
        const char* message;
    } failures[] = {
        {[&] { source.u32(6, "its SizeOfHeaders field"); },
         "stub 's.exe' is damaged: its SizeOfHeaders field: 4 bytes at 0x6 pass the end of the file (8 "
         "bytes)"},
        {[&] { part.bytes(3, 2, "a resource name"); },
         "stub 's.exe' is damaged: a resource name: 2 bytes at 0x3 pass the end of its part (4 bytes)"},
        {[&] { source.part(8, 1, "its resource section"); },
         "stub 's.exe' is damaged: its resource section: 1 bytes at 0x8 pass the end of the file (8 "
         "bytes)"},
    };
    for (const auto& f : failures) {
        try {
            f.read();
            ADD_FAILURE() << f.message;
        } catch (const wrap::WrapError& error) {
            EXPECT_STREQ(error.what(), f.message);
        }
    }
}

}  // namespace
