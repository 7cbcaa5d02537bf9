#include "ResourceTree.h"

#include <algorithm>

#include "WrapError.h"

namespace wrap {

namespace {

constexpr int levels = 3;  // type, name, language

char16_t upperAscii(char16_t unit) {
    return unit >= u'a' && unit <= u'z' ? static_cast<char16_t>(unit - u'a' + u'A') : unit;
}

class SectionReader {
public:
    SectionReader(const ByteSource& section, std::uint32_t sectionRva, ResourceData data)
        : section_(section), sectionRva_(sectionRva), data_(data) {}

    void readDirectory(std::uint32_t offset, int level, Resource& path, ResourceList& out) {
        const Bytes directory = section_.bytes(offset, resourceDirectorySize, "a resource directory");
        const std::uint32_t count = std::uint32_t{getU16(&directory[12])} + getU16(&directory[14]);
        // Counted before the entries are read: entries that all lead to one directory would otherwise
        // multiply at every level.
        if (count > mostResourceEntries - entries_)
            section_.fail("its resource directories hold more than " + std::to_string(mostResourceEntries) +
                          " entries");
        entries_ += count;
        const Bytes table =
            section_.bytes(offset + std::uint64_t{resourceDirectorySize},
                           std::uint64_t{resourceEntrySize} * count, "a resource directory's entries");
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint8_t* entry = &table[resourceEntrySize * i];
            const ResourceName name = readName(getU32(entry));
            if (level == 0) path.type = name;
            if (level == 1) path.name = name;
            const std::uint32_t target = getU32(entry + 4);
            if (level < levels - 1) {
                if (!(target & resourceHighBit)) fail("a resource directory entry leads to data too early");
                readDirectory(target & ~resourceHighBit, level + 1, path, out);
            } else {
                // A language is a number, 0 the neutral one.
                if (target & resourceHighBit || !name.text.empty())
                    fail("a resource's language entry is not a number leading to data");
                path.language = name.id;
                out.push_back(readData(target, path));
            }
        }
    }

private:
    [[noreturn]] void fail(const std::string& problem) const { section_.fail(problem); }

    ResourceName readName(std::uint32_t field) const {
        if (!(field & resourceHighBit)) return {static_cast<std::uint16_t>(field), {}};
        const std::uint32_t offset = field & ~resourceHighBit;
        const std::uint16_t length = section_.u16(offset, "a resource name");
        const Bytes units = section_.bytes(offset + std::uint64_t{2}, 2u * length, "a resource name");
        ResourceName name;
        for (std::uint16_t i = 0; i < length; ++i)
            name.text += static_cast<char16_t>(getU16(&units[2 * i]));
        if (name.text.empty()) fail("a resource name is empty");
        return name;
    }

    Resource readData(std::uint32_t offset, const Resource& path) {
        const Bytes entry = section_.bytes(offset, resourceDataEntrySize, "a resource data entry");
        const std::uint32_t rva = getU32(&entry[0]);
        const std::uint32_t size = getU32(&entry[4]);
        if (rva < sectionRva_) fail("a resource's data lies before its resource section");
        Resource resource = path;
        resource.codePage = getU32(&entry[8]);
        if (data_ == ResourceData::locate) {
            section_.need(rva - sectionRva_, size, "a resource's data");
            resource.streamed = true;
            resource.streamedSize = size;
            resource.dataRva = rva;
            return resource;
        }
        if (size > mostResourceBytes - dataBytes_)
            throw WrapError(section_.owner() + " holds more than " + std::to_string(mostResourceBytes >> 20) +
                            " MiB of resources, which a kiteboot stub never does (is it a bootstrapper that "
                            "carries an installer already?)");
        dataBytes_ += size;
        resource.data = section_.bytes(rva - sectionRva_, size, "a resource's data");
        return resource;
    }

    const ByteSource& section_;
    std::uint32_t sectionRva_;
    ResourceData data_;
    std::uint32_t entries_ = 0;
    std::uint64_t dataBytes_ = 0;
};

}  // namespace

bool resourceNameLess(const ResourceName& a, const ResourceName& b) {
    if (a.text.empty() != b.text.empty()) return !a.text.empty();
    if (a.text.empty()) return a.id < b.id;
    return std::lexicographical_compare(a.text.begin(), a.text.end(), b.text.begin(), b.text.end(),
                                        [](char16_t x, char16_t y) { return upperAscii(x) < upperAscii(y); });
}

ResourceList readResourceSection(const ByteSource& section, std::uint32_t sectionRva, ResourceData data) {
    ResourceList resources;
    Resource path;
    SectionReader(section, sectionRva, data).readDirectory(0, 0, path, resources);
    return resources;
}

void removeResources(ResourceList& resources, std::uint16_t type) {
    std::erase_if(resources, [&](const Resource& r) { return r.type == ResourceName{type, {}}; });
}

bool isNumbered(const Resource& resource, std::uint16_t type, std::uint16_t name) {
    return resource.type == ResourceName{type, {}} && resource.name == ResourceName{name, {}};
}

void removeResources(ResourceList& resources, std::uint16_t type, std::uint16_t name) {
    std::erase_if(resources, [&](const Resource& r) { return isNumbered(r, type, name); });
}

}  // namespace wrap
