// The resource section written from a resource list, read back as it was built.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "ResourceSection.h"
#include "ResourceTree.h"

namespace {

using wrap::Bytes;

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
    // Each resource's data starts on an 8-byte boundary of the image (each fill byte is used once).
    for (const wrap::Resource& resource : read) {
        const auto at = std::search(memory.begin(), memory.end(), resource.data.begin(), resource.data.end());
        EXPECT_EQ((rva + (at - memory.begin())) % wrap::resourceDataAlignment, 0u) << resource.data[0];
    }
}

}  // namespace
