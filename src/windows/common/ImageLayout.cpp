#include "windows/common/ImageLayout.h"

#include <algorithm>

std::vector<ImageSection> imageSections(HMODULE module) {
    const auto base = reinterpret_cast<const unsigned char*>(module);
    const auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
    std::vector<ImageSection> sections;
    for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
        sections.push_back({section->VirtualAddress, section->Misc.VirtualSize, section->PointerToRawData,
                            section->SizeOfRawData});
    }
    return sections;
}

std::optional<std::uint64_t> fileOffsetOf(const std::vector<ImageSection>& sections, std::uint32_t rva,
                                          std::uint32_t size) {
    for (const ImageSection& section : sections) {
        const std::uint64_t start = section.virtualAddress;
        // A section's bytes in memory past its raw data are zeros that the file does not hold; a virtual
        // size of 0 (old linkers) means the raw size.
        const std::uint32_t inFile =
            section.virtualSize ? std::min(section.rawSize, section.virtualSize) : section.rawSize;
        const std::uint64_t end = start + inFile;
        if (rva >= start && std::uint64_t(rva) + size <= end) return section.rawOffset + (rva - start);
    }
    return std::nullopt;
}
