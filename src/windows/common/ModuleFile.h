// The file a loaded module was mapped from, read as a file: reading it costs far less than touching every
// page of the mapped image, but its path proves nothing, so the file is used only once it is proven to be
// the very file the module was mapped from.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "common/windows/WinAutoHandle.h"

// The module's file, opened for reading and shared for reading only (no one can write, rename or delete it
// while the handle is held), and proven to be the file the module's image was mapped from: a process of
// the same user may have renamed the running image away and put another file under its name. An empty
// handle when the file cannot be opened or proven, or the system offers no proof. Logs nothing; never
// throws.
UniqueHandle openModuleFile(HMODULE module) noexcept;

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
