// The resource section written from a resource list: its tree, its layout and its bytes, each step on its
// own, and the whole read back as it was built.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ResourceSection.h"
#include "ResourceTree.h"
#include "WrapError.h"

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

// A text type, a type of three resources in two names and two languages, and the streamed payload.
wrap::ResourceList modelResources() {
    wrap::ResourceList resources = {wrap::numberedResource(3, 2, Bytes(3, 'c')),
                                    wrap::numberedResource(3, 2, Bytes(2, 'd')),
                                    wrap::numberedResource(10, 100), named(u"Zeta", 7, Bytes(1, 'a')),
                                    wrap::numberedResource(3, 1, Bytes(9, 'b'))};
    resources[0].language = 0;
    resources[2].streamed = true;
    resources[2].streamedSize = 1000;
    return resources;
}

wrap::Resource namedName(std::uint16_t type, std::u16string name, Bytes data) {
    wrap::Resource resource = wrap::numberedResource(type, 0, std::move(data));
    resource.name.text = std::move(name);
    return resource;
}

TEST(ResourceSection, TheTreeHasADirectoryPerTypeAndPerTypeAndNameEachBelowItsEntry) {
    const wrap::ResourceDirectoryTree tree = wrap::buildResourceTree(modelResources());
    // Sorted: Zeta 7, 3 1, 3 2 (language 0), 3 2 (1033), 10 100.
    EXPECT_EQ(tree.resources[0].type.text, u"Zeta");
    EXPECT_EQ(tree.resources[2].language, 0);
    EXPECT_EQ(tree.streamed, std::optional<std::size_t>(4));
    const struct {
        int level;
        std::size_t directory, begin, end;
        std::vector<std::size_t> entries;
        std::size_t firstChild;
    } cases[] = {
        {0, 0, 0, 5, {0, 1, 4}, 0},  // the root: Zeta, 3, 10
        {1, 0, 0, 1, {0}, 0},        // Zeta
        {1, 1, 1, 4, {1, 2}, 1},     // 3: names 1 and 2
        {1, 2, 4, 5, {4}, 3},        // 10
        {2, 2, 2, 4, {2, 3}, 0},     // 3 2: two languages
        {2, 3, 4, 5, {4}, 0},
    };
    EXPECT_EQ(tree.levels[0].size(), 1u);
    EXPECT_EQ(tree.levels[1].size(), 3u);
    EXPECT_EQ(tree.levels[2].size(), 4u);
    for (const auto& c : cases) {
        const wrap::ResourceDirectory& directory = tree.levels[c.level][c.directory];
        EXPECT_EQ(directory.begin, c.begin) << c.level << " " << c.directory;
        EXPECT_EQ(directory.end, c.end) << c.level << " " << c.directory;
        EXPECT_EQ(directory.entries, c.entries) << c.level << " " << c.directory;
        if (c.level < 2) {
            EXPECT_EQ(directory.firstChild, c.firstChild) << c.level << " " << c.directory;
        }
    }
    wrap::ResourceList twoStreamed = modelResources();
    twoStreamed[0].streamed = true;
    try {
        wrap::buildResourceTree(twoStreamed);
        ADD_FAILURE() << "two streamed resources were taken";
    } catch (const wrap::WrapError& error) {
        EXPECT_STREQ(error.what(), "more than one streamed resource");
    }
}

TEST(ResourceSection, TheLayoutPutsDirectoriesThenDataEntriesThenTextsThenAlignedData) {
    const struct {
        const char* what;
        wrap::ResourceList resources;
        std::vector<std::uint32_t> directories;  // level by level
        std::uint32_t dataEntries;
        std::vector<std::uint32_t> typeTexts, nameTexts, data;
        std::uint32_t headSize;
    } cases[] = {
        {"none", {}, {0}, 16, {}, {}, {}, 16},
        // Directories of 3, 1, 2, 1 and 1, 1, 2, 1 entries; the text "Zeta" (10 bytes) after the five
        // data entries; data on 8 bytes, the streamed on 64.
        {"the model",
         modelResources(),
         {0, 40, 64, 96, 120, 144, 168, 200},
         224,
         {304, 0, 0, 0, 0},
         {0, 0, 0, 0, 0},
         {320, 328, 344, 352, 384},
         384},
        // A name of text sorts before a number; the last data is empty and ends the section aligned.
        {"a name of text",
         {wrap::numberedResource(24, 1), namedName(24, u"Doc", Bytes(5, 'x'))},
         {0, 24, 56, 80},
         104,
         {0, 0},
         {136, 0},
         {144, 152},
         152},
    };
    for (const auto& c : cases) {
        const wrap::ResourceLayout layout = wrap::layOutResources(wrap::buildResourceTree(c.resources));
        std::vector<std::uint32_t> directories;
        for (const auto& level : layout.directories)
            directories.insert(directories.end(), level.begin(), level.end());
        EXPECT_EQ(directories, c.directories) << c.what;
        EXPECT_EQ(layout.dataEntries, c.dataEntries) << c.what;
        EXPECT_EQ(layout.typeTexts, c.typeTexts) << c.what;
        EXPECT_EQ(layout.nameTexts, c.nameTexts) << c.what;
        EXPECT_EQ(layout.data, c.data) << c.what;
        EXPECT_EQ(layout.headSize, c.headSize) << c.what;
    }
}

TEST(ResourceSection, TheBytesFollowTheLayout) {
    const std::uint32_t rva = 0x5000;
    const wrap::ResourceDirectoryTree tree = wrap::buildResourceTree(modelResources());
    const wrap::ResourceLayout layout = wrap::layOutResources(tree);
    const Bytes bytes = wrap::writeResources(tree, layout, rva);
    const struct {
        const char* what;
        std::size_t offset;
        std::uint32_t value;
    } cases[] = {
        {"the root's named and numbered entries", 12, 0x00020001},
        {"the root's first entry: the text of Zeta", 16, 0x80000000 | 304},
        {"... leading to Zeta's directory", 20, 0x80000000 | 40},
        {"the root's last entry: type 10", 32, 10},
        {"... leading to its directory", 36, 0x80000000 | 96},
        {"type 3's second entry: name 2", 64 + 24, 2},
        {"... leading to the directory of 3 2", 64 + 28, 0x80000000 | 168},
        {"3 2's first language: neutral", 168 + 16, 0},
        {"... leading to the third data entry", 168 + 20, 224 + 2 * 16},
        {"the streamed data entry's address", 224 + 4 * 16, rva + 384},
        {"... and size", 224 + 4 * 16 + 4, 1000},
        {"the text's length and first unit", 304, 4 | u'Z' << 16},
    };
    ASSERT_EQ(bytes.size(), layout.headSize);
    for (const auto& c : cases)
        EXPECT_EQ(wrap::getU32(&bytes[c.offset]), c.value) << c.what;
    EXPECT_EQ(Bytes(bytes.begin() + 320, bytes.begin() + 328), Bytes({'a', 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(Bytes(bytes.begin() + 328, bytes.begin() + 337), Bytes(9, 'b'));
}

}  // namespace
