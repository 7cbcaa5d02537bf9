#include "windows/common/ImageLayout.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ios>
#include <optional>
#include <vector>

namespace {

TEST(ImageLayout, BytesAreFoundInTheFileOnlyWhereOneSectionsRawDataHoldsThemAll) {
    const std::vector<ImageSection> sections = {
        {0x1000, 0x0200, 0x0400, 0x0200},
        {0x2000, 0x3000, 0x0600, 0x1000},  // raw data shorter than the section: the rest is zeros in memory
        {0x6000, 0x0010, 0x1600, 0x0200},  // raw data padded past the section
        {0x7000, 0x0000, 0x1800, 0x0100},  // no virtual size: the raw size counts
    };
    const struct {
        std::uint32_t rva, size;
        std::optional<std::uint64_t> offset;
    } cases[] = {
        {0x1000, 0x200, 0x400}, {0x1100, 0x100, 0x500},        {0x1100, 0x101, std::nullopt},
        {0x2800, 0x800, 0xE00}, {0x2800, 0x801, std::nullopt}, {0x0000, 0x10, std::nullopt},
        {0x6000, 0x10, 0x1600}, {0x6000, 0x11, std::nullopt},  {0x7080, 0x80, 0x1880},
    };
    for (const auto& c : cases)
        EXPECT_EQ(fileOffsetOf(sections, c.rva, c.size), c.offset) << std::hex << c.rva << " " << c.size;
}

}  // namespace
