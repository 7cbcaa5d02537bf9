// The pure parts of kiteboot-wrap that read and lay out bytes: the checksum summed in pieces, the resource
// section read back as it was built, bounded reads, the image's plan, what Windows needs to start an image,
// the version resource's lengths.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <random>
#include <string>

#include "AppendedPayload.h"
#include "ByteSource.h"
#include "ImagePlan.h"
#include "PeChecksum.h"
#include "ResourceSection.h"
#include "ResourceTree.h"
#include "StartableImage.h"
#include "VersionResource.h"
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
        for (std::size_t piece : {1u, 3u, 4u, 7u, 65536u}) {
            wrap::PeChecksum checksum;
            for (std::size_t at = 0; at < size; at += piece)
                checksum.add(file.data() + at, std::min(piece, size - at));
            EXPECT_EQ(checksum.finish(), referenceChecksum(file)) << size << " in pieces of " << piece;
        }
    }
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

// A stub's model as the reader makes it: .text, .rsrc, .reloc; sections aligned to 4 KiB, file to 512.
wrap::PeImage threeSectionStub() {
    wrap::PeImage stub;
    stub.headers.assign(0x400, 0);
    stub.coffHeader = 0x84;
    stub.optionalHeader = 0x98;
    stub.sectionTable = 0x188;
    stub.sectionAlignment = 0x1000;
    stub.fileAlignment = 0x200;
    stub.directories.resize(16);
    stub.directories[5] = {0x4000, 0x50};
    stub.sections = {{".text", 0x1234, 0x1000, 0x1400, 0x400, 0},
                     {".rsrc", 0x300, 0x3000, 0x400, 0x1800, 0},
                     {".reloc", 0x50, 0x4000, 0x200, 0x1c00, 0}};
    stub.resourceSection = 1;
    stub.characteristics = 0x22;
    stub.subsystem = 2;
    stub.sizeOfImage = 0x5000;
    stub.directories[1] = {0x2000, 0x28};
    stub.directories[2] = {0x3000, 0x300};
    return stub;
}

TEST(StartableImage, DllsConsolesAndSectionsOrDirectoriesOutsideTheImageAreRefusedSayingWhat) {
    const wrap::Bytes file(0x1e00);
    const std::string damaged = "stub 's.exe' is damaged: ";
    const struct {
        const char* what;
        std::function<void(wrap::PeImage&)> damage;
        std::string problem;
    } cases[] = {
        {"the stub", [](wrap::PeImage&) {}, ""},
        {"a DLL", [](wrap::PeImage& s) { s.characteristics = 0x2022; },
         "stub 's.exe' is marked as a DLL (Characteristics 0x2022): Windows does not start a DLL as a "
         "program"},
        {"a console program", [](wrap::PeImage& s) { s.subsystem = 3; },
         "stub 's.exe' is not a Windows GUI program (its Subsystem is 3, a GUI program's is 2)"},
        {"sections out of order", [](wrap::PeImage& s) { std::swap(s.sections[0], s.sections[1]); },
         damaged +
             "section 2 '.text' starts at 0x1000 in memory, but the sections must follow one another in "
             "order and it should start at 0x4000, after section 1 '.rsrc'"},
        {"a gap between sections", [](wrap::PeImage& s) { s.sections[1].virtualAddress = 0x4000; },
         damaged +
             "section 2 '.rsrc' starts at 0x4000 in memory, but the sections must follow one another in "
             "order and it should start at 0x3000, after section 1 '.text'"},
        {"a section past SizeOfImage", [](wrap::PeImage& s) { s.sizeOfImage = 0x4000; },
         damaged + "section 3 '.reloc' ends at 0x4050 in memory, past its SizeOfImage 0x4000"},
        {"contents that overlap in the file", [](wrap::PeImage& s) { s.sections[1].rawPointer = 0x1600; },
         damaged + "section 2 '.rsrc' lies at 0x1600 in the file, before 0x1800 where the headers or the "
                   "section before it end"},
        {"relocations of 0xffffffff bytes", [](wrap::PeImage& s) { s.directories[5].size = 0xffffffff; },
         damaged + "its base relocation directory (4294967295 bytes at 0x4000) passes the end of its image "
                   "(SizeOfImage 0x5000)"},
        {"imports in the resources", [](wrap::PeImage& s) { s.directories[1].virtualAddress = 0x2ff0; },
         damaged + "its import directory (40 bytes at 0x2ff0) reaches into its resource section or past it, "
                   "which kiteboot-wrap rewrites"},
        {"a certificate table past the file",
         [](wrap::PeImage& s) {
             s.directories[4] = {0x1e00, 8};
         },
         damaged + "its certificate directory (8 bytes at 0x1e00) passes the end of the file"},
        {"FileAlignment of 16", [](wrap::PeImage& s) { s.fileAlignment = 16; },
         damaged + "its FileAlignment 0x10 is not from 0x200 to 0x10000"},
    };
    for (const auto& c : cases) {
        wrap::PeImage stub = threeSectionStub();
        c.damage(stub);
        try {
            wrap::requireStartable(stub, wrap::ByteSource::ofBytes("stub 's.exe'", file));
            EXPECT_EQ(c.problem, "") << c.what;
        } catch (const wrap::WrapError& error) {
            EXPECT_EQ(error.what(), c.problem) << c.what;
        }
    }
}

TEST(StartableImage, OnlyAManifestThatAsksForAdministratorRightsIsTaken) {
    const auto manifest = [](const std::string& text) {
        return wrap::numberedResource(24, 1, wrap::Bytes(text.begin(), text.end()));
    };
    const std::string unelevated =
        ": Windows would start the bootstrapper without asking for administrator rights";
    const struct {
        const char* what;
        wrap::ResourceList resources;
        std::string problem;
    } cases[] = {
        {"kiteboot's",
         {manifest("<requestedExecutionLevel level=\"requireAdministrator\" uiAccess=\"false\"/>")},
         ""},
        {"a prefix, single quotes, spaces",
         {manifest("<ms:requestedExecutionLevel\n uiAccess='false' level = 'requireAdministrator'/>")},
         ""},
        {"asInvoker",
         {manifest("<requestedExecutionLevel level=\"asInvoker\"/>")},
         "stub 's.exe' has a manifest (RT_MANIFEST 1) that does not ask for administrator rights "
         "(requestedExecutionLevel level=\"requireAdministrator\")" +
             unelevated},
        {"another attribute's value",
         {manifest("<requestedExecutionLevel xlevel=\"requireAdministrator\" level=\"asInvoker\"/>")},
         "stub 's.exe' has a manifest (RT_MANIFEST 1) that does not ask for administrator rights "
         "(requestedExecutionLevel level=\"requireAdministrator\")" +
             unelevated},
        {"another element",
         {manifest("<requestedExecutionLevelX level=\"requireAdministrator\"/>")},
         "stub 's.exe' has a manifest (RT_MANIFEST 1) that does not ask for administrator rights "
         "(requestedExecutionLevel level=\"requireAdministrator\")" +
             unelevated},
        {"empty", {manifest("")}, "stub 's.exe' has an empty manifest (RT_MANIFEST 1)" + unelevated},
        {"none",
         {wrap::numberedResource(24, 2, wrap::Bytes(3, 'm'))},
         "stub 's.exe' has no manifest (RT_MANIFEST 1)" + unelevated},
    };
    for (const auto& c : cases)
        EXPECT_EQ(wrap::manifestProblem("stub 's.exe'", c.resources), c.problem) << c.what;
}

TEST(ImagePlan, SectionsMoveUpAndTheImageIsRoundedAndRefusedAbove2GiB) {
    const struct {
        std::uint64_t resources;
        std::uint32_t relocAddress, relocPointer, sizeOfImage;
        std::uint64_t fileSize;
    } cases[] = {
        {0x300, 0x4000, 0x1c00, 0x5000, 0x1e00},
        {0x2001, 0x6000, 0x3a00, 0x7000, 0x3c00},                      // SizeOfImage rounded up from 0x6050
        {0x7fffc000, 0x7ffff000, 0x7fffd800, 0x80000000, 0x7fffda00},  // 2 GiB exactly
    };
    for (const auto& c : cases) {
        const wrap::ImagePlan plan = wrap::planImage(threeSectionStub(), c.resources);
        EXPECT_EQ(plan.sections[1].virtualSize, c.resources);
        EXPECT_EQ(plan.sections[2].virtualAddress, c.relocAddress) << c.resources;
        EXPECT_EQ(plan.sections[2].rawPointer, c.relocPointer) << c.resources;
        EXPECT_EQ(wrap::getU32(&plan.headers[0x98 + 56]), c.sizeOfImage) << c.resources;
        EXPECT_EQ(wrap::getU32(&plan.headers[0x98 + 112 + 5 * 8]), c.relocAddress) << c.resources;
        EXPECT_EQ(plan.fileSize, c.fileSize) << c.resources;
        EXPECT_EQ(wrap::imageSizeProblem(plan, c.resources), "") << c.resources;
    }
    const struct {
        std::uint64_t resources;
        const char* problem;
    } tooLarge[] = {
        {0x7fffc001,
         "the payload of 2047 MiB (2147467265 bytes) is too large: the bootstrapper would take 2048 MiB "
         "(2147487744 bytes), and a Windows executable may take at most 2 GiB (2147483648 bytes)"},
        {std::uint64_t{5} << 30,
         "the payload of 5120 MiB (5368709120 bytes) is too large: the bootstrapper would take 5120 MiB "
         "(5368721408 bytes), and a Windows executable may take at most 2 GiB (2147483648 bytes)"},
    };
    for (const auto& c : tooLarge)
        EXPECT_EQ(wrap::imageSizeProblem(wrap::planImage(threeSectionStub(), c.resources), c.resources),
                  c.problem);
}

// Beyond 2 GiB the payload goes after the image, from the image's end on the file alignment, padded to it;
// the whole file may take 4 GiB less 1 MiB, the rest kept for a signature below 4 GiB.
TEST(AppendedPayload, PlacedAfterTheImageAlignedAndRefusedAboveTheSignableLimit) {
    const wrap::ImagePlan image = wrap::planImage(threeSectionStub(), 0x300);  // file size 0x1e00
    const std::uint64_t room = wrap::largestAppended - 0x1e00;
    const struct {
        std::uint64_t length, fileSize;
        const char* problem;
    } cases[] = {
        {1, 0x2000, ""},
        {0x200, 0x2000, ""},
        {0x201, 0x2200, ""},
        {room, wrap::largestAppended, ""},  // 4 GiB less 1 MiB exactly
        {room + 1, wrap::largestAppended + 0x200,
         "the payload of 4094 MiB (4293911041 bytes) is too large: the bootstrapper would take 4095 MiB "
         "(4293919232 bytes), and one that carries its payload after the image may take at most 4 GiB less "
         "1 MiB (4293918720 bytes), so that a signature still fits below 4 GiB"},
    };
    for (const auto& c : cases) {
        const wrap::AppendedPlacement placement = wrap::placeAppended(image, 0x200, c.length);
        EXPECT_EQ(placement.offset, 0x1e00u) << c.length;
        EXPECT_EQ(placement.fileSize, c.fileSize) << c.length;
        EXPECT_EQ(wrap::appendedSizeProblem(placement), c.problem) << c.length;
    }
    // Known from the payload's size alone, with the other problems of the inputs.
    EXPECT_EQ(wrap::payloadSizeProblem(wrap::largestAppended), "");
    EXPECT_EQ(
        wrap::payloadSizeProblem(wrap::largestAppended + 1),
        "the payload of 4095 MiB (4293918721 bytes) is too large: a bootstrapper may take at most 4 GiB "
        "less 1 MiB (4293918720 bytes), so that a signature still fits below 4 GiB, and it holds the "
        "payload and more");
}

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
