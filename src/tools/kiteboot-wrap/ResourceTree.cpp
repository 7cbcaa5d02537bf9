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
    SectionReader(const Bytes& section, std::uint32_t sectionRva, const std::string& source)
        : section_(section), sectionRva_(sectionRva), source_(source) {}

    void readDirectory(std::uint32_t offset, int level, Resource& path, ResourceList& out) {
        need(offset, resourceDirectorySize);
        const std::uint32_t count =
            std::uint32_t{getU16(&section_[offset + 12])} + getU16(&section_[offset + 14]);
        need(offset + resourceDirectorySize, resourceEntrySize * count);
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint8_t* entry = &section_[offset + resourceDirectorySize + resourceEntrySize * i];
            const ResourceName name = readName(getU32(entry));
            if (level == 0) path.type = name;
            if (level == 1) path.name = name;
            const std::uint32_t target = getU32(entry + 4);
            if (level < levels - 1) {
                if (!(target & resourceHighBit)) fail();
                readDirectory(target & ~resourceHighBit, level + 1, path, out);
            } else {
                if (target & resourceHighBit || !name.text.empty())
                    fail();  // a language is a number, 0 the neutral one
                path.language = name.id;
                out.push_back(readData(target, path));
            }
        }
    }

private:
    [[noreturn]] void fail() const {
        throw WrapError("the resource section of '" + source_ + "' is damaged");
    }

    void need(std::uint64_t offset, std::uint64_t size) const {
        if (offset + size > section_.size()) fail();
    }

    ResourceName readName(std::uint32_t field) const {
        if (!(field & resourceHighBit)) return {static_cast<std::uint16_t>(field), {}};
        const std::uint32_t offset = field & ~resourceHighBit;
        need(offset, 2);
        const std::uint16_t length = getU16(&section_[offset]);
        need(offset + 2, 2u * length);
        ResourceName name;
        for (std::uint16_t i = 0; i < length; ++i)
            name.text += static_cast<char16_t>(getU16(&section_[offset + 2 + 2 * i]));
        if (name.text.empty()) fail();
        return name;
    }

    Resource readData(std::uint32_t offset, const Resource& path) const {
        need(offset, resourceDataEntrySize);
        const std::uint32_t rva = getU32(&section_[offset]);
        const std::uint32_t size = getU32(&section_[offset + 4]);
        if (rva < sectionRva_) fail();
        need(rva - sectionRva_, size);
        Resource resource = path;
        resource.codePage = getU32(&section_[offset + 8]);
        resource.data.assign(section_.begin() + (rva - sectionRva_),
                             section_.begin() + (rva - sectionRva_ + size));
        return resource;
    }

    const Bytes& section_;
    std::uint32_t sectionRva_;
    const std::string& source_;
};

}  // namespace

bool resourceNameLess(const ResourceName& a, const ResourceName& b) {
    if (a.text.empty() != b.text.empty()) return !a.text.empty();
    if (a.text.empty()) return a.id < b.id;
    return std::lexicographical_compare(a.text.begin(), a.text.end(), b.text.begin(), b.text.end(),
                                        [](char16_t x, char16_t y) { return upperAscii(x) < upperAscii(y); });
}

ResourceList readResourceSection(const Bytes& section, std::uint32_t sectionRva, const std::string& source) {
    ResourceList resources;
    Resource path;
    SectionReader(section, sectionRva, source).readDirectory(0, 0, path, resources);
    return resources;
}

void removeResources(ResourceList& resources, std::uint16_t type) {
    std::erase_if(resources, [&](const Resource& r) { return r.type == ResourceName{type, {}}; });
}

void removeResources(ResourceList& resources, std::uint16_t type, std::uint16_t name) {
    std::erase_if(resources, [&](const Resource& r) {
        return r.type == ResourceName{type, {}} && r.name == ResourceName{name, {}};
    });
}

}  // namespace wrap
