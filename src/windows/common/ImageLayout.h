// Where an image's bytes lie in its file: the section table turns an address relative to the image base
// into a file offset.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "common/windows/WinHeaders.h"

// One section of an image: where it lies in memory (relative to the image base) and in the file.
struct ImageSection {
    std::uint32_t virtualAddress;
    std::uint32_t virtualSize;
    std::uint32_t rawOffset;
    std::uint32_t rawSize;
};

// The section table of a loaded module's image.
std::vector<ImageSection> imageSections(HMODULE module);

// The file offset of size bytes at rva: found when one section's bytes in the file hold all of them
// (bytes past a section's raw data exist only in memory, as zeros).
std::optional<std::uint64_t> fileOffsetOf(const std::vector<ImageSection>& sections, std::uint32_t rva,
                                          std::uint32_t size);
