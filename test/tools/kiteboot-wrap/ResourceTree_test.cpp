// The resource section's reader: damaged directories refused, not followed.
#include <gtest/gtest.h>

#include <cstdint>

#include "ResourceSection.h"
#include "ResourceTree.h"
#include "WrapError.h"

namespace {

using wrap::Bytes;

TEST(ResourceTree, DamagedDirectoriesAreRefusedNotFollowed) {
    const wrap::ResourceSection section =
        wrap::buildResourceSection({wrap::numberedResource(24, 1, Bytes(5, 'm'))}, 0x1000);
    for (std::size_t cut : {std::size_t{0}, std::size_t{15}, std::size_t{30}, section.head.size() - 1}) {
        const Bytes shorter(section.head.begin(), section.head.begin() + cut);
        EXPECT_THROW(wrap::readResourceSection(wrap::ByteSource::ofBytes("stub", shorter), 0x1000),
                     std::runtime_error)
            << cut;
    }
    EXPECT_THROW(wrap::readResourceSection(wrap::ByteSource::ofBytes("stub", section.head), 0x2000),
                 std::runtime_error);
    // A resource of 65 MiB is refused before anything is read or sized from it (its data entry follows
    // the three directories of one entry each).
    Bytes large = section.head;
    wrap::putU32(&large[3 * (16 + 8) + 4], 65 << 20);
    try {
        wrap::readResourceSection(wrap::ByteSource::ofBytes("stub 's.exe'", large), 0x1000);
        ADD_FAILURE() << "a resource of 65 MiB was read";
    } catch (const wrap::WrapError& error) {
        EXPECT_STREQ(error.what(),
                     "stub 's.exe' holds more than 64 MiB of resources, which a kiteboot stub never "
                     "does (is it a bootstrapper that carries an installer already?)");
    }

    // Three directories of 100 entries, each entry leading to the next directory: a million resources
    // if followed. Refused after the first entries are counted, before anything is copied.
    Bytes bomb;
    for (std::uint32_t level = 0; level < 3; ++level) {
        bomb.resize(bomb.size() + 14);
        wrap::appendU16(bomb, 100);
        const std::uint32_t next = (level + 1) * (16 + 100 * 8);
        for (int i = 0; i < 100; ++i) {
            wrap::appendU32(bomb, 1);
            wrap::appendU32(bomb, level < 2 ? wrap::resourceHighBit | next : next);
        }
    }
    wrap::appendU32(bomb, 0x1000);  // a data entry: its data is the section's start, 64 bytes
    wrap::appendU32(bomb, 64);
    bomb.resize(bomb.size() + 8);
    try {
        wrap::readResourceSection(wrap::ByteSource::ofBytes("stub 's.exe'", bomb), 0x1000);
        ADD_FAILURE() << "a directory leading a million times to one directory was read";
    } catch (const wrap::WrapError& error) {
        EXPECT_STREQ(error.what(),
                     "stub 's.exe' is damaged: its resource directories hold more than 4096 entries");
    }
}

}  // namespace
