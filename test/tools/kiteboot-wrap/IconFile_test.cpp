// The icon's reader and its checks.
#include <gtest/gtest.h>

#include <algorithm>

#include "IconFile.h"
#include "WrapError.h"

namespace {

// The icon's reader is safe on its own: a damaged file is refused with a sentence, not read past its end.
TEST(IconFile, ImagesBeyondTheLimitsAreRefusedAndTheReaderIsSafeWithoutTheCheck) {
    // The files are sized first and filled in: GCC 12 warns of bounds in a vector's growth when they
    // are appended to here.
    const auto ico = [](std::uint16_t count, const wrap::Bytes& image, std::uint32_t bytes) {
        wrap::Bytes file(6 + 16u * count + image.size());
        wrap::putU16(&file[2], 1);
        wrap::putU16(&file[4], count);
        for (std::size_t i = 0; i < count; ++i) {
            std::uint8_t* entry = &file[6 + 16 * i];
            entry[0] = entry[1] = 16;
            wrap::putU16(entry + 4, 1);
            wrap::putU16(entry + 6, 32);
            wrap::putU32(entry + 8, bytes);
            wrap::putU32(entry + 12, 6 + 16u * count);
        }
        std::copy(image.begin(), image.end(), file.data() + 6 + 16u * count);
        return file;
    };
    const auto bitmap = [](std::int32_t width, std::int32_t height, std::uint16_t planes,
                           std::uint16_t bits) {
        wrap::Bytes header;
        wrap::appendU32(header, 40);
        wrap::appendU32(header, static_cast<std::uint32_t>(width));
        wrap::appendU32(header, static_cast<std::uint32_t>(height));
        wrap::appendU16(header, planes);
        wrap::appendU16(header, bits);
        header.resize(104);
        return header;
    };
    const auto png = [](std::uint32_t length, std::uint32_t width, std::uint8_t depth, std::uint8_t colour) {
        wrap::Bytes image = {0x89, 'P', 'N', 'G', 0x0d, 0x0a, 0x1a, 0x0a};
        image.resize(8 + 16 + 9);
        std::size_t at = 8;
        for (std::uint32_t value : {length, 0x49484452u, width, 16u})  // "IHDR"
            for (int shift = 24; shift >= 0; shift -= 8)
                image[at++] = static_cast<std::uint8_t>(value >> shift);
        image[at] = depth;
        image[at + 1] = colour;
        return image;
    };
    const std::string invalid = "icon 'i.ico' is not a valid .ico file: ";
    const wrap::Bytes good = bitmap(16, 32, 1, 32);
    const struct {
        const char* what;
        wrap::Bytes file;
        std::string problem;
    } cases[] = {
        {"a bitmap", ico(1, good, 104), ""},
        {"256 images", ico(256, good, 104), ""},
        {"257 images", ico(257, good, 104),
         invalid +
             "it holds 257 images; kiteboot-wrap takes at most 256 (Windows shows one per size and depth)"},
        {"3 images in 6 bytes", wrap::Bytes{0, 0, 1, 0, 3, 0},
         invalid + "its directory of 3 images is cut short"},
        {"width -1", ico(1, bitmap(-1, 32, 1, 32), 104),
         invalid + "image 1 of 1 is a bitmap that has a width of -1; an icon's images take 1 to 1024"},
        {"height 0", ico(1, bitmap(16, 0, 1, 32), 104),
         invalid +
             "image 1 of 1 is a bitmap that has a height of 0; an icon's images take 1 to 2048 (its colours "
             "and its mask)"},
        {"0 bits", ico(1, bitmap(16, 32, 1, 0), 104),
         invalid + "image 1 of 1 is a bitmap of 0 bits per pixel; a bitmap has 1, 4, 8, 16, 24 or 32"},
        {"2 planes", ico(1, bitmap(16, 32, 2, 32), 104),
         invalid + "image 1 of 1 is a bitmap of 2 planes; a bitmap has 1"},
        {"a PNG", ico(1, png(13, 16, 8, 6), 33), ""},
        {"a PNG of 8 bytes", ico(1, png(13, 16, 8, 6), 8),
         invalid + "image 1 of 1 is a PNG of 8 bytes, too few for its signature and header (33)"},
        {"IHDR of 12 bytes", ico(1, png(12, 16, 8, 6), 33),
         invalid + "image 1 of 1 is a PNG whose first chunk is not a header (IHDR of 13 bytes)"},
        {"PNG width 0", ico(1, png(13, 0, 8, 6), 33),
         invalid + "image 1 of 1 is a PNG that has a width of 0; an icon's images take 1 to 1024"},
        {"RGBA of 4 bits", ico(1, png(13, 16, 4, 6), 33),
         invalid + "image 1 of 1 is a PNG whose header (IHDR) is not valid: bit depth 4, colour type 6"},
    };
    for (const auto& c : cases) {
        const wrap::ByteSource source = wrap::ByteSource::ofBytes("icon 'i.ico'", c.file);
        EXPECT_EQ(wrap::iconFileProblem(source), c.problem) << c.what;
        try {
            EXPECT_EQ(wrap::iconResources(source, 101).size(),
                      c.file.size() > 6 ? wrap::getU16(&c.file[4]) + 1u : 0u)
                << c.what;
        } catch (const wrap::WrapError& error) {
            EXPECT_EQ(error.what(), c.problem) << c.what;
        }
    }
}

}  // namespace
