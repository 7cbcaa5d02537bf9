// The version resource's lengths, padding and limit.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "ByteOrder.h"
#include "VersionResource.h"

namespace {

using wrap::Bytes;

TEST(VersionResource, TheLargestThatFitsItsLengthsIsWrittenWholeAndOneTextMoreIsRefused) {
    const auto fields = [](std::size_t characters) {
        return wrap::VersionFields{{1, 2, 3, 4}, {{"CompanyName", std::string(characters, 'c')}}};
    };
    // Each two characters more take four bytes more (the strings are 4-byte aligned).
    std::size_t characters = (wrap::versionResourceLimit - wrap::versionResourceSize(fields(0))) / 2 - 4;
    while (wrap::versionResourceSize(fields(characters + 1)) <= wrap::versionResourceLimit)
        ++characters;
    const Bytes largest = wrap::versionResource(fields(characters));
    EXPECT_EQ(largest.size(), wrap::versionResourceSize(fields(characters)));
    EXPECT_GT(largest.size(), wrap::versionResourceLimit - 4);
    EXPECT_EQ(wrap::getU16(largest.data()), largest.size());
    // The string's node follows the root's fixed part and the headers of StringFileInfo and its table.
    EXPECT_EQ(wrap::getU16(&largest[152]), 32 + 2 * (characters + 1));
    EXPECT_EQ(wrap::getU16(&largest[154]), characters + 1);
    EXPECT_GT(wrap::versionResourceSize(fields(characters + 1)), wrap::versionResourceLimit);
    EXPECT_THROW(wrap::versionResource(fields(characters + 1)), std::runtime_error);
}

TEST(VersionResource, LengthsCountTheTerminatingNullAndPaddingLiesBetweenNodes) {
    // Values of odd and even length, an empty one and one outside the basic plane.
    const wrap::VersionFields fields{{1, 2, 3, 4},
                                     {{"A", "odd"}, {"B", ""}, {"C", "ev"}, {"D", "\xF0\x9F\x98\x80"}}};
    const Bytes resource = wrap::versionResource(fields);
    EXPECT_EQ(wrap::getU16(resource.data()), resource.size());
    EXPECT_EQ(wrap::getU16(resource.data() + 2), 52);  // VS_FIXEDFILEINFO
    EXPECT_EQ(wrap::getU32(resource.data() + 40), 0xfeef04bdu);
    EXPECT_EQ(wrap::getU32(resource.data() + 48), 0x00010002u);
    EXPECT_EQ(wrap::getU32(resource.data() + 52), 0x00030004u);
    // Each string: length, value length in UTF-16 units with the null, on a 4-byte boundary.
    const std::vector<std::pair<char16_t, std::uint16_t>> strings = {
        {u'A', 4}, {u'B', 1}, {u'C', 3}, {u'D', 3}};
    std::size_t at = 0;
    for (const auto& [key, units] : strings) {
        for (at += 2; at + 8 < resource.size(); at += 2)
            if (wrap::getU16(&resource[at + 6]) == key && wrap::getU16(&resource[at + 8]) == 0 &&
                wrap::getU16(&resource[at + 4]) == 1)
                break;
        EXPECT_EQ(at % 4, 0u) << static_cast<char>(key);
        EXPECT_EQ(wrap::getU16(&resource[at + 2]), units) << static_cast<char>(key);
        EXPECT_EQ(wrap::getU16(&resource[at]), 12 + 2 * units) << static_cast<char>(key);
    }
    EXPECT_EQ(wrap::getU32(&resource[resource.size() - 4]), 0x04b00409u);  // 1033, code page 1200
}

}  // namespace
