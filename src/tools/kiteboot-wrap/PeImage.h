// A Windows executable read into a plain model: its header bytes, the places of the structures kiteboot-wrap
// changes, and the section table. The sections' contents stay in the file and are copied from it when a
// bootstrapper is written, so memory does not follow the size of the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "ByteOrder.h"
#include "ByteSource.h"

namespace wrap {

// Headers take at most this much: SizeOfHeaders is a multiple of FileAlignment, which is at most 64 KiB.
constexpr std::uint32_t largestHeaders = 0x10000;

struct SectionHeader {
    std::string name;
    std::uint32_t virtualSize = 0;
    std::uint32_t virtualAddress = 0;
    std::uint32_t rawSize = 0;
    std::uint32_t rawPointer = 0;
    std::uint32_t characteristics = 0;
};

struct DataDirectory {
    std::uint32_t virtualAddress = 0;
    std::uint32_t size = 0;
};

// The MS-DOS header's pointer followed to the PE signature and the COFF header: what tells one for 64-bit
// Windows apart from other executables.
struct CoffHeader {
    std::uint64_t offset = 0;  // of the COFF header (after "PE\0\0")
    std::uint16_t machine = 0;
    std::uint16_t sectionCount = 0;
    std::uint16_t optionalHeaderSize = 0;
    std::uint16_t characteristics = 0;
    std::uint16_t optionalMagic = 0;  // the first field of the optional header

    bool isPe32Plus() const;
};

// "" when the file is an executable: an MZ header whose pointer leads to the PE signature, a COFF header
// and the optional header's magic; otherwise what it lacks, "no MZ header" or "no PE header". Throws
// WrapError only when the file cannot be read.
std::string executableProblem(const ByteSource& file);

// The COFF header and the optional header's magic of an executable (executableProblem finds nothing).
// Throws WrapError when they cannot be read.
CoffHeader readCoffHeader(const ByteSource& file);

struct PeImage {
    Bytes headers;                      // the first SizeOfHeaders bytes of the file
    std::uint32_t coffHeader = 0;       // offset of the COFF file header (after "PE\0\0")
    std::uint32_t optionalHeader = 0;   // offset of the PE32+ optional header
    std::uint32_t sectionTable = 0;     // offset of the section table
    std::uint16_t characteristics = 0;  // of the COFF header
    std::uint16_t subsystem = 0;
    std::uint32_t sectionAlignment = 0;
    std::uint32_t fileAlignment = 0;
    std::uint32_t sizeOfImage = 0;
    std::vector<DataDirectory> directories;  // NumberOfRvaAndSizes of them, at most 16
    std::vector<SectionHeader> sections;     // each one's raw data lies within the file
    std::size_t resourceSection = 0;         // index of the section the resource directory starts

    // The bytes of the resource section as far as both its raw data and its size in memory reach.
    ByteSource resourceBytes(const ByteSource& file) const;
};

// Reads a 64-bit Windows executable with a resource section after which only its base relocations lie
// (they do not depend on their own address, so they can move). Throws WrapError naming file's owner
// otherwise. Whether Windows would start it is requireStartable's (StartableImage.h) to say.
PeImage readPeImage(const ByteSource& file);

}  // namespace wrap
