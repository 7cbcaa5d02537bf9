// The resources of an executable as a plain list (type, name, language, bytes), read from a resource
// section. The payload is the one resource whose bytes are not held: they are streamed from its file when
// the bootstrapper is written.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "ByteOrder.h"
#include "ByteSource.h"

namespace wrap {

constexpr std::uint16_t typeIcon = 3;
constexpr std::uint16_t typeRcdata = 10;
constexpr std::uint16_t typeGroupIcon = 14;
constexpr std::uint16_t typeVersion = 16;
constexpr std::uint16_t languageEnglishUs = 1033;

// The resource section's format: a directory (16 bytes, its entry counts at 12 and 14) followed by its
// entries (8 bytes each); a data entry (16 bytes); an entry field with the high bit set names a text or a
// further directory by its offset.
constexpr std::uint32_t resourceHighBit = 0x80000000u;
constexpr std::uint32_t resourceDirectorySize = 16;
constexpr std::uint32_t resourceEntrySize = 8;
constexpr std::uint32_t resourceDataEntrySize = 16;

// A type or name: a number, or a text when text is not empty.
struct ResourceName {
    std::uint16_t id = 0;
    std::u16string text;

    bool operator==(const ResourceName&) const = default;
};

// The order of a resource directory: texts (compared without regard to ASCII case) before numbers.
bool resourceNameLess(const ResourceName& a, const ResourceName& b);

struct Resource {
    ResourceName type;
    ResourceName name;
    std::uint16_t language = languageEnglishUs;
    std::uint32_t codePage = 0;
    Bytes data;
    bool streamed = false;           // the bytes come from a file when the section is written
    std::uint64_t streamedSize = 0;  // their count
    std::uint32_t dataRva = 0;       // where a resource read with ResourceData::locate lies

    std::uint64_t size() const { return streamed ? streamedSize : data.size(); }
};

using ResourceList = std::vector<Resource>;

// A resource of numbered type and name, language 1033, with the given bytes.
inline Resource numberedResource(std::uint16_t type, std::uint16_t name, Bytes data = {}) {
    Resource resource;
    resource.type.id = type;
    resource.name.id = name;
    resource.data = std::move(data);
    return resource;
}

// What a resource section someone else made may hold before it is refused, so that no count or size from
// the file decides how much memory is taken (a kiteboot stub's resources take a few kilobytes).
constexpr std::uint32_t mostResourceEntries = 4096;    // entries of all directories together
constexpr std::uint64_t mostResourceBytes = 64 << 20;  // data of all resources together

// The resources of a resource section, given as the bytes the section has in memory from its start
// (sectionRva). Throws WrapError naming the section's owner when the directory points outside those bytes
// or holds more than the limits above.
// With ResourceData::locate the data is not read (nor counted against the limit): each resource is streamed,
// of its size, at dataRva, so a bootstrapper that carries an installer can be read too.
enum class ResourceData { read, locate };
ResourceList readResourceSection(const ByteSource& section, std::uint32_t sectionRva,
                                 ResourceData data = ResourceData::read);

// Whether the resource has this numbered type and numbered name.
bool isNumbered(const Resource& resource, std::uint16_t type, std::uint16_t name);

// Removes every resource of the type (and, when name is given, of that name).
void removeResources(ResourceList& resources, std::uint16_t type);
void removeResources(ResourceList& resources, std::uint16_t type, std::uint16_t name);

}  // namespace wrap
