// An .ico file as the resources that carry it: one RT_ICON per image and the icon group that lists them.
// Read through the bounded reader and checked as read, so the reader is safe on its own.
#pragma once

#include <cstdint>
#include <string>

#include "ByteOrder.h"
#include "ByteSource.h"
#include "ResourceTree.h"

namespace wrap {

// The most images an icon may hold. Windows picks one image per size and depth, and every size it shows
// (16 to 256 pixels) at every depth makes well under 100; each image takes two entries of the resource
// directory, whose reader takes 4096 in all (mostResourceEntries).
constexpr std::uint32_t mostIconImages = 256;
// The widest and highest image: Windows shows icons up to 256 pixels; larger images are not icons.
constexpr std::int32_t largestIconSide = 1024;
// The images' bytes together (a 256-pixel image of 32 bits takes 257 KiB as a bitmap), so that the
// bootstrapper's resources stay within what its reader takes (mostResourceBytes).
constexpr std::uint64_t mostIconBytes = 16 << 20;

// "" when ico is an .ico kiteboot-wrap takes: an icon header, a directory of 1 to mostIconImages entries
// inside the file, each image inside the file and a bitmap (a sane BITMAPINFOHEADER) or a PNG (its
// signature and a valid IHDR). Otherwise "<owner> is not a valid .ico file: " and what is wrong.
std::string iconFileProblem(const ByteSource& ico);

// The icon resources of an .ico: images numbered from 1 in the file's order, and the group groupId whose
// entries are the file's directory entries with the image's number in place of its offset. Throws
// WrapError with iconFileProblem's sentence when the file is not one it takes.
ResourceList iconResources(const ByteSource& ico, std::uint16_t groupId);

}  // namespace wrap
