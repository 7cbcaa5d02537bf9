// The pure parts of kiteboot-wrap that lay out bytes: the checksum summed in pieces, the resource section
// read back as it was built, the version resource's lengths.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>

#include "PeChecksum.h"
#include "ResourceSection.h"
#include "ResourceTree.h"
#include "VersionResource.h"

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
        for (std::size_t piece : {1u, 3u, 4u, 7u, 65536u}) {
            wrap::PeChecksum checksum;
            for (std::size_t at = 0; at < size; at += piece)
                checksum.add(file.data() + at, std::min(piece, size - at));
            EXPECT_EQ(checksum.finish(), referenceChecksum(file)) << size << " in pieces of " << piece;
        }
    }
    const Bytes ones(8, 0xff);  // sums to the ones' complement zero
    wrap::PeChecksum checksum;
    checksum.add(ones.data(), ones.size());
    EXPECT_EQ(checksum.finish(), referenceChecksum(ones));
}

wrap::Resource named(std::u16string type, std::uint16_t name, Bytes data) {
    wrap::Resource resource = wrap::numberedResource(0, name, std::move(data));
    resource.type.text = std::move(type);
    return resource;
}

TEST(ResourceSection, ReadsBackAsBuiltSortedWithTheStreamedDataLastAndAligned) {
    const std::uint32_t rva = 0x124000;
    wrap::ResourceList resources = {
        wrap::numberedResource(24, 1, Bytes(5, 'm')),
        wrap::numberedResource(3, 2, Bytes(3, 'b')),
        named(u"Zeta", 7, Bytes(1, 'z')),
        wrap::numberedResource(3, 1, Bytes(9, 'a')),
        named(u"alpha", 7, Bytes(2, 'x')),
    };
    resources[0].codePage = 1252;
    resources[1].language = 0;  // neutral
    wrap::Resource payload = wrap::numberedResource(10, 100);
    payload.streamed = true;
    payload.streamedSize = 1000;
    resources.push_back(payload);

    const wrap::ResourceSection section = wrap::buildResourceSection(resources, rva);
    EXPECT_EQ(section.streamedSize, 1000u);
    EXPECT_EQ(section.head.size() % wrap::streamedDataAlignment, 0u);
    Bytes memory = section.head;
    memory.resize(section.size(), 'p');
    const wrap::ResourceList read = wrap::readResourceSection(wrap::ByteSource::ofBytes("test", memory), rva);

    // Named types first (without regard to case), then numbers; within a type, by name.
    const std::vector<std::pair<std::u16string, std::uint16_t>> order = {
        {u"alpha", 0}, {u"Zeta", 0}, {u"", 3}, {u"", 3}, {u"", 10}, {u"", 24}};
    ASSERT_EQ(read.size(), order.size());
    for (std::size_t i = 0; i < read.size(); ++i) {
        EXPECT_EQ(read[i].type.text, order[i].first) << i;
        EXPECT_EQ(read[i].type.id, order[i].second) << i;
        EXPECT_EQ(read[i].language, i == 3 ? 0 : wrap::languageEnglishUs) << i;
    }
    EXPECT_EQ(read[2].name.id, 1);
    EXPECT_EQ(read[2].data, Bytes(9, 'a'));
    EXPECT_EQ(read[3].data, Bytes(3, 'b'));
    EXPECT_EQ(read[4].data, Bytes(1000, 'p'));
    EXPECT_EQ(read[5].codePage, 1252u);
    EXPECT_EQ(read[5].data, Bytes(5, 'm'));
}

TEST(ResourceSection, DamagedDirectoriesAreRefusedNotFollowed) {
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
