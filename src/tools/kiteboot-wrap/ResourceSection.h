// The bytes of a resource section made from a resource list: directories, data entries, names, then the
// data. The one streamed resource (the payload) comes last, so everything before it is small and held in
// memory while its bytes are copied from its file.
#pragma once

#include <cstdint>

#include "ByteOrder.h"
#include "ResourceTree.h"

namespace wrap {

// Where the data of resources lies: each resource on an 8-byte boundary, the streamed one on a 64-byte
// boundary (the launcher copies from there; a source aligned to 64 bytes copies faster).
constexpr std::uint32_t resourceDataAlignment = 8;
constexpr std::uint32_t streamedDataAlignment = 64;

// Where one resource's data lies, from the start of the section.
struct ResourceDataPlace {
    ResourceName type;
    ResourceName name;
    std::uint32_t offset = 0;
};

struct ResourceSection {
    Bytes head;                             // every byte up to the streamed data
    std::uint64_t streamedSize = 0;         // followed by this many streamed bytes (0: none)
    std::vector<ResourceDataPlace> places;  // every resource's, in directory order

    std::uint64_t size() const { return head.size() + streamedSize; }
    // The offset of the data of the first resource of this numbered type and name. Throws
    // std::logic_error when there is none.
    std::uint32_t dataOffset(std::uint16_t type, std::uint16_t name) const;
};

// Lays out the section for the address sectionRva. At most one resource may be streamed.
ResourceSection buildResourceSection(ResourceList resources, std::uint32_t sectionRva);

}  // namespace wrap
