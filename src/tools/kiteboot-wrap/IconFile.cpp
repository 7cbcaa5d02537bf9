#include "IconFile.h"

#include <algorithm>
#include <array>

#include "WrapError.h"

namespace wrap {

namespace {

constexpr std::size_t icoHeaderSize = 6;
constexpr std::size_t icoEntrySize = 16;
constexpr std::size_t entryFieldsKept = 12;  // size, colours, planes, bit count, byte count
constexpr std::uint64_t bitmapHeaderSize = 40;
// The signature, then the IHDR chunk: length, type, 13 bytes of data, CRC.
constexpr std::array<std::uint8_t, 8> pngSignature = {0x89, 'P', 'N', 'G', 0x0d, 0x0a, 0x1a, 0x0a};
constexpr std::uint64_t pngHeaderSize = 8 + 8 + 13 + 4;

std::uint32_t bigEndian32(const std::uint8_t* at) {
    return std::uint32_t{at[0]} << 24 | std::uint32_t{at[1]} << 16 | std::uint32_t{at[2]} << 8 | at[3];
}

std::string sideProblem(const char* what, std::int64_t value, std::int64_t largest) {
    if (value >= 1 && value <= largest) return "";
    return " has a " + std::string(what) + " of " + std::to_string(value) + "; an icon's images take 1 to " +
           std::to_string(largest);
}

// The bit depths PNG allows for each colour type (greyscale, RGB, palette, grey with alpha, RGBA).
bool validPngDepth(std::uint8_t colourType, std::uint8_t depth) {
    switch (colourType) {
        case 0:
            return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
        case 3:
            return depth == 1 || depth == 2 || depth == 4 || depth == 8;
        case 2:
        case 4:
        case 6:
            return depth == 8 || depth == 16;
        default:
            return false;
    }
}

std::string pngProblem(const ByteSource& ico, std::uint64_t offset, std::uint64_t bytes) {
    if (bytes < pngHeaderSize)
        return " is a PNG of " + std::to_string(bytes) + " bytes, too few for its signature and header (" +
               std::to_string(pngHeaderSize) + ")";
    const Bytes header = ico.bytes(offset + 8, pngHeaderSize - 8, "a PNG's header");
    if (bigEndian32(&header[0]) != 13 || !std::equal(header.begin() + 4, header.begin() + 8, "IHDR"))
        return " is a PNG whose first chunk is not a header (IHDR of 13 bytes)";
    const std::string width = sideProblem("width", bigEndian32(&header[8]), largestIconSide);
    if (!width.empty()) return " is a PNG that" + width;
    const std::string height = sideProblem("height", bigEndian32(&header[12]), largestIconSide);
    if (!height.empty()) return " is a PNG that" + height;
    if (!validPngDepth(header[17], header[16]) || header[18] != 0 || header[19] != 0 || header[20] > 1)
        return " is a PNG whose header (IHDR) is not valid: bit depth " + std::to_string(header[16]) +
               ", colour type " + std::to_string(header[17]);
    return "";
}

// The bitmap's header: colour and mask rows together, so twice the image's height.
std::string bitmapProblem(const ByteSource& ico, std::uint64_t offset) {
    const Bytes header = ico.bytes(offset, bitmapHeaderSize, "a bitmap's header");
    const auto width = static_cast<std::int32_t>(getU32(&header[4]));
    const auto height = static_cast<std::int32_t>(getU32(&header[8]));
    const std::uint16_t planes = getU16(&header[12]);
    const std::uint16_t bits = getU16(&header[14]);
    if (const std::string problem = sideProblem("width", width, largestIconSide); !problem.empty())
        return " is a bitmap that" + problem;
    if (const std::string problem = sideProblem("height", height, 2 * largestIconSide); !problem.empty())
        return " is a bitmap that" + problem + " (its colours and its mask)";
    if (planes != 1) return " is a bitmap of " + std::to_string(planes) + " planes; a bitmap has 1";
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        return " is a bitmap of " + std::to_string(bits) +
               " bits per pixel; a bitmap has 1, 4, 8, 16, 24 or 32";
    return "";
}

std::string imageProblem(const ByteSource& ico, std::uint64_t offset, std::uint64_t bytes) {
    if (bytes == 0) return " is empty (its size is 0)";
    if (bytes < 8) return " has " + std::to_string(bytes) + " bytes, too few for a bitmap or a PNG";
    const Bytes start = ico.bytes(offset, 8, "an image's start");
    if (std::equal(pngSignature.begin(), pngSignature.end(), start.begin()))
        return pngProblem(ico, offset, bytes);
    const std::uint32_t headerSize = getU32(start.data());
    if (headerSize < bitmapHeaderSize || headerSize > bytes) return " is neither a bitmap nor a PNG";
    return bitmapProblem(ico, offset);
}

}  // namespace

std::string iconFileProblem(const ByteSource& ico) {
    const std::string invalid = ico.owner() + " is not a valid .ico file: ";
    if (ico.size() < icoHeaderSize) return invalid + "it is too short for an icon header";
    const Bytes header = ico.bytes(0, icoHeaderSize, "its header");
    const std::uint16_t reserved = getU16(&header[0]);
    const std::uint16_t type = getU16(&header[2]);
    const std::uint16_t count = getU16(&header[4]);
    if (reserved == 0 && type == 2) return invalid + "it is a cursor (.cur), not an icon";
    if (reserved != 0 || type != 1) return invalid + "its header is not that of an icon";
    if (count == 0) return invalid + "it holds no images";
    if (count > mostIconImages)
        return invalid + "it holds " + std::to_string(count) + " images; kiteboot-wrap takes at most " +
               std::to_string(mostIconImages) + " (Windows shows one per size and depth)";
    const std::uint64_t directorySize = icoHeaderSize + icoEntrySize * std::uint64_t{count};
    if (directorySize > ico.size())
        return invalid + "its directory of " + std::to_string(count) + " images is cut short";
    const Bytes directory = ico.bytes(0, directorySize, "its directory");
    std::uint64_t total = 0;
    for (unsigned index = 0; index < count; ++index) {
        const std::uint8_t* entry = &directory[icoHeaderSize + icoEntrySize * index];
        const std::uint64_t bytes = getU32(entry + 8);
        const std::uint64_t offset = getU32(entry + 12);
        const std::string image = "image " + std::to_string(index + 1) + " of " + std::to_string(count);
        if (bytes >= 8 && (offset < directorySize || !fitsWithin(offset, bytes, ico.size())))
            return invalid + image + " lies outside the file";
        if (const std::string problem = imageProblem(ico, offset, bytes); !problem.empty())
            return invalid + image + problem;
        total += bytes;
        if (total > mostIconBytes)
            return invalid + "its images take more than " + std::to_string(mostIconBytes >> 20) +
                   " MiB together, far more than an icon's";
    }
    return "";
}

ResourceList iconResources(const ByteSource& ico, std::uint16_t groupId) {
    throwIfProblem(iconFileProblem(ico));
    const std::uint16_t count = ico.u16(4, "its image count");
    const Bytes directory = ico.bytes(0, icoHeaderSize + icoEntrySize * count, "its directory");
    ResourceList resources;
    Resource group =
        numberedResource(typeGroupIcon, groupId, Bytes(directory.begin(), directory.begin() + icoHeaderSize));
    for (std::uint16_t i = 0; i < count; ++i) {
        const std::uint8_t* entry = &directory[icoHeaderSize + icoEntrySize * i];
        const std::uint16_t id = static_cast<std::uint16_t>(i + 1);
        group.data.insert(group.data.end(), entry, entry + entryFieldsKept);
        appendU16(group.data, id);
        resources.push_back(
            numberedResource(typeIcon, id, ico.bytes(getU32(entry + 12), getU32(entry + 8), "an image")));
    }
    resources.push_back(std::move(group));
    return resources;
}

}  // namespace wrap
