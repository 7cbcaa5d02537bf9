// The bytes of a resource section made from a resource list, in three steps: the directory tree built, its
// offsets laid out (directories, data entries, names, then the data), then its bytes written. The one
// streamed resource (the payload) comes last, so everything before it is small and held in memory while its
// bytes are copied from its file.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "ByteOrder.h"
#include "ResourceTree.h"

namespace wrap {

// Where the data of resources lies: each resource on an 8-byte boundary, the streamed one on a 64-byte
// boundary (the launcher copies from there; a source aligned to 64 bytes copies faster).
constexpr std::uint32_t resourceDataAlignment = 8;
constexpr std::uint32_t streamedDataAlignment = 64;

// One directory of the tree: the resources below it, and the first of each of its entries' resources.
struct ResourceDirectory {
    std::size_t begin = 0, end = 0;  // indexes into ResourceDirectoryTree::resources
    std::vector<std::size_t> entries;
    std::size_t firstChild = 0;  // the directory of entries[0] in the next level; the others follow it
};

// The three levels of directories, breadth first: the root, one per type, one per type and name; the
// entries of the last level are the resources' languages.
struct ResourceDirectoryTree {
    ResourceList resources;  // in directory order
    std::array<std::vector<ResourceDirectory>, 3> levels;
    std::optional<std::size_t> streamed;  // the resource whose bytes are streamed
};

// Where each part of the section lies, from its start.
struct ResourceLayout {
    std::array<std::vector<std::uint32_t>, 3> directories;  // each directory's offset, level by level
    std::uint32_t dataEntries = 0;                          // the first data entry; one per resource
    // By resource: the offset of its type's text when it starts an entry of the root that names a type by
    // text (of its name's text, an entry of a type's directory); 0 otherwise. The texts follow the data
    // entries, the types' first, in directory order.
    std::vector<std::uint32_t> typeTexts, nameTexts;
    std::vector<std::uint32_t> data;  // by resource: its data; the streamed resource's after all others
    std::uint32_t headSize = 0;       // every byte before the streamed data (or all of them)
};

// Sorts the resources into directory order and groups them into directories. At most one may be streamed:
// throws WrapError otherwise.
ResourceDirectoryTree buildResourceTree(ResourceList resources);

ResourceLayout layOutResources(const ResourceDirectoryTree& tree);

// The section's bytes up to the streamed data, for the address sectionRva.
Bytes writeResources(const ResourceDirectoryTree& tree, const ResourceLayout& layout,
                     std::uint32_t sectionRva);

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
    // The offset of the data of the first resource of this numbered type and name. Throws WrapError when
    // there is none.
    std::uint32_t dataOffset(std::uint16_t type, std::uint16_t name) const;
};

// The three steps for the address sectionRva.
ResourceSection buildResourceSection(ResourceList resources, std::uint32_t sectionRva);

}  // namespace wrap
