// A Windows executable read into a plain model: its header bytes, the places of the fields kiteboot-wrap
// changes, and the section table. The stub is small, so its bytes are held whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "ByteOrder.h"

namespace wrap {

constexpr std::uint16_t machineI386 = 0x14c;
constexpr std::uint16_t machineArm64 = 0xaa64;
constexpr std::uint16_t machineAmd64 = 0x8664;
constexpr std::uint16_t optionalMagicPe32Plus = 0x20b;

constexpr int directoryResource = 2;
constexpr int directoryCertificate = 4;
constexpr int directoryBaseRelocation = 5;

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

struct PeImage {
    Bytes file;                        // the whole file
    std::uint32_t coffHeader = 0;      // offset of the COFF file header (after "PE\0\0")
    std::uint32_t optionalHeader = 0;  // offset of the PE32+ optional header
    std::uint32_t sectionTable = 0;    // offset of the section table
    std::uint32_t sectionAlignment = 0;
    std::uint32_t fileAlignment = 0;
    std::uint32_t sizeOfHeaders = 0;
    std::vector<DataDirectory> directories;
    std::vector<SectionHeader> sections;
    std::size_t resourceSection = 0;  // index of the section the resource directory starts

    // The bytes the section has in memory, as far as the file holds them.
    Bytes sectionBytes(std::size_t index) const;
};

// Offsets of the optional header's fields that kiteboot-wrap changes.
constexpr std::uint32_t optionalSizeOfInitializedData = 8;
constexpr std::uint32_t optionalSizeOfImage = 56;
constexpr std::uint32_t optionalCheckSum = 64;
constexpr std::uint32_t optionalDataDirectories = 112;
constexpr std::uint32_t sectionHeaderSize = 40;

// Reads a 64-bit Windows executable with a resource section after which only its base relocations lie
// (they do not depend on their own address, so they can move). Throws WrapError naming source otherwise.
PeImage readPeImage(Bytes file, const std::string& source);

}  // namespace wrap
