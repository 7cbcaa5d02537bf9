#include "PeImage.h"

#include <algorithm>

#include "PeLayout.h"
#include "ShownText.h"
#include "WrapError.h"

namespace wrap {

namespace {

bool isPowerOfTwo(std::uint32_t value) {
    return value != 0 && (value & (value - 1)) == 0;
}

SectionHeader readSectionHeader(const ByteSource& headers, std::uint64_t at, const std::string& what) {
    const Bytes entry = headers.bytes(at, pe::section::size, what);
    SectionHeader section;
    section.name.assign(reinterpret_cast<const char*>(&entry[pe::section::name]), pe::section::nameSize);
    section.name.resize(std::min(section.name.find('\0'), section.name.size()));
    section.virtualSize = getU32(&entry[pe::section::virtualSize]);
    section.virtualAddress = getU32(&entry[pe::section::virtualAddress]);
    section.rawSize = getU32(&entry[pe::section::rawSize]);
    section.rawPointer = getU32(&entry[pe::section::rawPointer]);
    section.characteristics = getU32(&entry[pe::section::characteristics]);
    return section;
}

// The headers: at most largestHeaders bytes, and all of them within the file.
Bytes readHeaders(const ByteSource& file, std::uint64_t optionalHeader) {
    const std::uint32_t size =
        file.u32(optionalHeader + pe::optional::sizeOfHeaders, "its SizeOfHeaders field");
    file.need(0, size, "its headers (SizeOfHeaders)");
    if (size > largestHeaders)
        file.fail("its headers (SizeOfHeaders) claim " + std::to_string(size) + " bytes, more than the " +
                  std::to_string(largestHeaders) + " headers can take");
    return file.bytes(0, size, "its headers (SizeOfHeaders)");
}

// The optional header's fields and its data directories, at most 16, of which the base relocations'.
void readOptionalHeader(const ByteSource& headers, const CoffHeader& coff, std::uint64_t optional,
                        PeImage& image) {
    const std::uint32_t directoryCount =
        headers.u32(optional + pe::optional::directoryCount, "its directory count");
    if (directoryCount > pe::directory::count)
        headers.fail("its NumberOfRvaAndSizes is " + std::to_string(directoryCount) + ", more than the " +
                     std::to_string(pe::directory::count) + " data directories a PE32+ optional header has");
    image.subsystem = headers.u16(optional + pe::optional::subsystem, "its Subsystem");
    image.sizeOfImage = headers.u32(optional + pe::optional::sizeOfImage, "its SizeOfImage");
    image.sectionAlignment = headers.u32(optional + pe::optional::sectionAlignment, "its SectionAlignment");
    image.fileAlignment = headers.u32(optional + pe::optional::fileAlignment, "its FileAlignment");
    if (!isPowerOfTwo(image.sectionAlignment) || !isPowerOfTwo(image.fileAlignment) ||
        directoryCount <= pe::directory::baseRelocation ||
        coff.optionalHeaderSize < pe::optional::directories + pe::optional::directorySize * directoryCount)
        throw WrapError(headers.owner() + " has an optional header kiteboot-wrap cannot use");
    for (std::uint32_t i = 0; i < directoryCount; ++i) {
        const std::uint64_t at = optional + pe::optional::directories + pe::optional::directorySize * i;
        const Bytes entry = headers.bytes(at, pe::optional::directorySize, "its data directories");
        image.directories.push_back({getU32(&entry[0]), getU32(&entry[4])});
    }
}

// The section table, in the headers after the optional header; each section's contents within the file.
// Then the offsets of the headers, all within the headers' 64 KiB.
void readSections(const ByteSource& headers, const ByteSource& file, const CoffHeader& coff,
                  std::uint64_t optional, PeImage& image) {
    const std::uint64_t sectionTable = optional + coff.optionalHeaderSize;
    headers.need(sectionTable, std::uint64_t{pe::section::size} * coff.sectionCount, "its section table");
    image.coffHeader = static_cast<std::uint32_t>(coff.offset);
    image.optionalHeader = static_cast<std::uint32_t>(optional);
    image.sectionTable = static_cast<std::uint32_t>(sectionTable);
    for (std::uint16_t i = 0; i < coff.sectionCount; ++i) {
        const std::string what = "section header " + std::to_string(i + 1);
        const SectionHeader section = readSectionHeader(headers, sectionTable + pe::section::size * i, what);
        if (section.rawSize != 0)
            file.need(section.rawPointer, section.rawSize, "section " + inQuotes(section.name));
        image.sections.push_back(section);
    }
}

// The section the resource directory starts, after which only the base relocations may lie.
std::size_t resourceSectionOf(const PeImage& image, const std::string& owner) {
    const std::uint32_t resources = image.directories[pe::directory::resource].virtualAddress;
    const auto found = std::find_if(image.sections.begin(), image.sections.end(),
                                    [&](const SectionHeader& s) { return s.virtualAddress == resources; });
    if (resources == 0 || found == image.sections.end())
        throw WrapError(owner + " has no resource section of its own (the manifest must be in one)");
    const auto index = static_cast<std::size_t>(found - image.sections.begin());
    for (std::size_t i = index + 1; i < image.sections.size(); ++i)
        if (image.sections[i].virtualAddress !=
            image.directories[pe::directory::baseRelocation].virtualAddress)
            throw WrapError(owner + " has the section " + inQuotes(image.sections[i].name) +
                            " after its resource section; only base relocations may follow it");
    return index;
}

}  // namespace

bool CoffHeader::isPe32Plus() const {
    return optionalMagic == pe::optional::magicPe32Plus;
}

std::string executableProblem(const ByteSource& file) {
    if (file.size() < pe::dosHeaderSize || file.u16(0, "its MZ header") != pe::dosMagic)
        return "no MZ header";
    const std::uint64_t signature = file.u32(pe::dosNewHeaderOffset, "its MZ header");
    // The signature, the COFF header and the optional header's magic.
    if (!fitsWithin(signature, pe::peSignatureSize + pe::coff::size + 2, file.size()) ||
        file.u32(signature, "its PE signature") != pe::peSignature)
        return "no PE header";
    return "";
}

CoffHeader readCoffHeader(const ByteSource& file) {
    CoffHeader header;
    header.offset = file.u32(pe::dosNewHeaderOffset, "its MZ header") + std::uint64_t{pe::peSignatureSize};
    const Bytes coff = file.bytes(header.offset, pe::coff::size + 2, "its COFF header");
    header.machine = getU16(&coff[pe::coff::machine]);
    header.sectionCount = getU16(&coff[pe::coff::sectionCount]);
    header.optionalHeaderSize = getU16(&coff[pe::coff::optionalHeaderSize]);
    header.characteristics = getU16(&coff[pe::coff::characteristics]);
    header.optionalMagic = getU16(&coff[pe::coff::size + pe::optional::magic]);
    return header;
}

ByteSource PeImage::resourceBytes(const ByteSource& file) const {
    const SectionHeader& section = sections[resourceSection];
    return file.part(section.rawPointer, std::min(section.rawSize, section.virtualSize),
                     "its resource section");
}

PeImage readPeImage(const ByteSource& file) {
    if (!executableProblem(file).empty()) throw WrapError(file.owner() + " is not a Windows executable");
    const CoffHeader coff = readCoffHeader(file);
    if (coff.machine != pe::coff::machineAmd64 || !coff.isPe32Plus())
        throw WrapError(file.owner() + " is not a 64-bit (AMD64) Windows executable");

    PeImage image;
    image.characteristics = coff.characteristics;
    const std::uint64_t optional = coff.offset + pe::coff::size;
    image.headers = readHeaders(file, optional);
    // From here on every field is read from the headers, so every offset below is within 64 KiB.
    const ByteSource headers =
        ByteSource::ofBytes(file.owner(), image.headers).part(0, image.headers.size(), "its headers");
    readOptionalHeader(headers, coff, optional, image);
    readSections(headers, file, coff, optional, image);
    image.resourceSection = resourceSectionOf(image, file.owner());
    return image;
}

}  // namespace wrap
