#include "PeImage.h"

#include <algorithm>

#include "WrapError.h"

namespace wrap {

namespace {

class HeaderReader {
public:
    HeaderReader(const Bytes& file, const std::string& source) : file_(file), source_(source) {}

    [[noreturn]] void fail(const std::string& what) const {
        throw WrapError("stub '" + source_ + "' " + what);
    }
    void need(std::uint64_t offset, std::uint64_t size) const {
        if (offset + size > file_.size()) fail("is not a 64-bit Windows executable (it is cut short)");
    }
    std::uint16_t u16(std::uint64_t offset) const {
        need(offset, 2);
        return getU16(&file_[offset]);
    }
    std::uint32_t u32(std::uint64_t offset) const {
        need(offset, 4);
        return getU32(&file_[offset]);
    }

private:
    const Bytes& file_;
    const std::string& source_;
};

bool isPowerOfTwo(std::uint32_t value) {
    return value != 0 && (value & (value - 1)) == 0;
}

}  // namespace

Bytes PeImage::sectionBytes(std::size_t index) const {
    const SectionHeader& section = sections[index];
    const std::uint64_t size = std::min(section.rawSize, section.virtualSize);
    const std::uint64_t end = std::min<std::uint64_t>(section.rawPointer + size, file.size());
    if (section.rawPointer >= end) return {};
    return Bytes(file.begin() + section.rawPointer, file.begin() + static_cast<std::ptrdiff_t>(end));
}

PeImage readPeImage(Bytes file, const std::string& source) {
    PeImage image;
    image.file = std::move(file);
    const HeaderReader read(image.file, source);
    if (read.u16(0) != 0x5a4d || read.u32(read.u32(60)) != 0x4550) read.fail("is not a Windows executable");
    image.coffHeader = read.u32(60) + 4;
    const std::uint16_t sectionCount = read.u16(image.coffHeader + 2);
    const std::uint16_t optionalSize = read.u16(image.coffHeader + 16);
    image.optionalHeader = image.coffHeader + 20;
    if (read.u16(image.coffHeader) != machineAmd64 || read.u16(image.optionalHeader) != optionalMagicPe32Plus)
        read.fail("is not a 64-bit (AMD64) Windows executable");
    image.sectionAlignment = read.u32(image.optionalHeader + 32);
    image.fileAlignment = read.u32(image.optionalHeader + 36);
    image.sizeOfHeaders = read.u32(image.optionalHeader + 60);
    const std::uint32_t directoryCount = std::min<std::uint32_t>(read.u32(image.optionalHeader + 108), 16);
    if (!isPowerOfTwo(image.sectionAlignment) || !isPowerOfTwo(image.fileAlignment) ||
        directoryCount <= directoryBaseRelocation ||
        optionalSize < optionalDataDirectories + 8 * directoryCount)
        read.fail("has an optional header kiteboot-wrap cannot use");
    for (std::uint32_t i = 0; i < directoryCount; ++i) {
        const std::uint32_t at = image.optionalHeader + optionalDataDirectories + 8 * i;
        image.directories.push_back({read.u32(at), read.u32(at + 4)});
    }
    image.sectionTable = image.optionalHeader + optionalSize;
    read.need(image.sectionTable, std::uint64_t{sectionHeaderSize} * sectionCount);
    if (image.sectionTable + sectionHeaderSize * sectionCount > image.sizeOfHeaders)
        read.fail("has a damaged section table");
    for (std::uint16_t i = 0; i < sectionCount; ++i) {
        const std::uint32_t at = image.sectionTable + sectionHeaderSize * i;
        SectionHeader section;
        section.name.assign(reinterpret_cast<const char*>(&image.file[at]), 8);
        section.name.resize(section.name.find('\0') == std::string::npos ? 8 : section.name.find('\0'));
        section.virtualSize = read.u32(at + 8);
        section.virtualAddress = read.u32(at + 12);
        section.rawSize = read.u32(at + 16);
        section.rawPointer = read.u32(at + 20);
        section.characteristics = read.u32(at + 36);
        if (section.rawSize != 0) read.need(section.rawPointer, section.rawSize);
        image.sections.push_back(section);
    }

    const std::uint32_t resources = image.directories[directoryResource].virtualAddress;
    const auto found = std::find_if(image.sections.begin(), image.sections.end(),
                                    [&](const SectionHeader& s) { return s.virtualAddress == resources; });
    if (resources == 0 || found == image.sections.end())
        read.fail("has no resource section of its own (the manifest must be in one)");
    image.resourceSection = static_cast<std::size_t>(found - image.sections.begin());
    for (std::size_t i = image.resourceSection + 1; i < image.sections.size(); ++i)
        if (image.sections[i].virtualAddress != image.directories[directoryBaseRelocation].virtualAddress)
            read.fail("has the section '" + image.sections[i].name +
                      "' after its resource section; only base relocations may follow it");
    return image;
}

}  // namespace wrap
