#include "ResourceSection.h"

#include <algorithm>
#include <stdexcept>

namespace wrap {

namespace {

bool resourceLess(const Resource& a, const Resource& b) {
    if (resourceNameLess(a.type, b.type)) return true;
    if (resourceNameLess(b.type, a.type)) return false;
    if (resourceNameLess(a.name, b.name)) return true;
    if (resourceNameLess(b.name, a.name)) return false;
    return a.language < b.language;
}

// The indexes of the first element of each run of equal keys in [begin, end).
template <typename SameKey>
std::vector<std::size_t> runStarts(std::size_t begin, std::size_t end, SameKey same) {
    std::vector<std::size_t> starts;
    for (std::size_t i = begin; i < end; ++i)
        if (i == begin || !same(i - 1, i)) starts.push_back(i);
    return starts;
}

struct Table {
    std::size_t begin, end;             // the resources below this directory
    std::vector<std::size_t> children;  // first resource of each entry
    std::uint32_t offset = 0;
};

}  // namespace

ResourceSection buildResourceSection(ResourceList resources, std::uint32_t sectionRva) {
    std::stable_sort(resources.begin(), resources.end(), resourceLess);
    const auto sameType = [&](std::size_t a, std::size_t b) {
        return resources[a].type == resources[b].type;
    };
    const auto sameName = [&](std::size_t a, std::size_t b) {
        return sameType(a, b) && resources[a].name == resources[b].name;
    };
    const std::size_t count = resources.size();

    // The three levels of directories, breadth first: root, one per type, one per (type, name).
    std::vector<std::vector<Table>> levels(3);
    levels[0].push_back({0, count, runStarts(0, count, sameType)});
    for (int level = 1; level < 3; ++level)
        for (const Table& parent : levels[level - 1])
            for (std::size_t k = 0; k < parent.children.size(); ++k) {
                const std::size_t begin = parent.children[k];
                const std::size_t end = k + 1 < parent.children.size() ? parent.children[k + 1] : parent.end;
                levels[level].push_back({begin, end,
                                         level == 1
                                             ? runStarts(begin, end, sameName)
                                             : runStarts(begin, end, [](auto, auto) { return false; })});
            }

    // Offsets: directories, data entries, names, data.
    std::uint32_t offset = 0;
    for (auto& level : levels)
        for (Table& table : level) {
            table.offset = offset;
            offset +=
                resourceDirectorySize + resourceEntrySize * static_cast<std::uint32_t>(table.children.size());
        }
    const std::uint32_t dataEntries = offset;
    offset += resourceDataEntrySize * static_cast<std::uint32_t>(count);
    std::vector<std::uint32_t> nameOffsets;  // of each text in the order written
    Bytes names;
    const auto nameField = [&](const ResourceName& name) -> std::uint32_t {
        if (name.text.empty()) return name.id;
        const auto at = static_cast<std::uint32_t>(offset + names.size());
        appendU16(names, static_cast<std::uint16_t>(name.text.size()));
        appendUtf16(names, name.text);
        return resourceHighBit | at;
    };

    Bytes head;
    for (int level = 0; level < 3; ++level)
        for (const Table& table : levels[level]) {
            const auto named =
                std::count_if(table.children.begin(), table.children.end(), [&](std::size_t i) {
                    const Resource& r = resources[i];
                    return !(level == 0 ? r.type : r.name).text.empty() && level < 2;
                });
            appendU32(head, 0);  // characteristics
            appendU32(head, 0);  // time stamp
            appendU32(head, 0);  // version
            appendU16(head, static_cast<std::uint16_t>(named));
            appendU16(head, static_cast<std::uint16_t>(table.children.size() - named));
            for (std::size_t k = 0; k < table.children.size(); ++k) {
                const Resource& r = resources[table.children[k]];
                if (level == 0) appendU32(head, nameField(r.type));
                if (level == 1) appendU32(head, nameField(r.name));
                if (level == 2) appendU32(head, r.language);
                if (level < 2) {
                    // The k-th table of the next level below this one.
                    std::size_t index = 0;
                    while (levels[level + 1][index].begin != table.children[k])
                        ++index;
                    appendU32(head, resourceHighBit | levels[level + 1][index].offset);
                } else {
                    appendU32(head, dataEntries + resourceDataEntrySize *
                                                      static_cast<std::uint32_t>(table.children[k]));
                }
            }
        }

    // Data: the held resources in directory order, the streamed one last.
    std::uint32_t dataStart =
        static_cast<std::uint32_t>(alignUp(offset + names.size(), resourceDataAlignment));
    std::vector<std::uint32_t> dataOffsets(count);
    std::size_t streamedIndex = count;
    std::uint64_t dataEnd = dataStart;
    for (std::size_t i = 0; i < count; ++i) {
        if (resources[i].streamed) {
            if (streamedIndex != count) throw std::logic_error("more than one streamed resource");
            streamedIndex = i;
            continue;
        }
        dataEnd = alignUp(dataEnd, resourceDataAlignment);
        dataOffsets[i] = static_cast<std::uint32_t>(dataEnd);
        dataEnd += resources[i].data.size();
    }
    if (streamedIndex != count)
        dataOffsets[streamedIndex] = static_cast<std::uint32_t>(alignUp(dataEnd, streamedDataAlignment));

    for (std::size_t i = 0; i < count; ++i) {
        appendU32(head, sectionRva + dataOffsets[i]);
        appendU32(head, static_cast<std::uint32_t>(resources[i].size()));
        appendU32(head, resources[i].codePage);
        appendU32(head, 0);
    }
    head.insert(head.end(), names.begin(), names.end());
    for (std::size_t i = 0; i < count; ++i)
        if (i != streamedIndex) {
            head.resize(dataOffsets[i], 0);
            head.insert(head.end(), resources[i].data.begin(), resources[i].data.end());
        }
    ResourceSection section;
    for (std::size_t i = 0; i < count; ++i)
        section.places.push_back({resources[i].type, resources[i].name, dataOffsets[i]});
    if (streamedIndex != count) {
        head.resize(dataOffsets[streamedIndex], 0);
        section.streamedSize = resources[streamedIndex].streamedSize;
    }
    section.head = std::move(head);
    return section;
}

std::uint32_t ResourceSection::dataOffset(std::uint16_t type, std::uint16_t name) const {
    for (const ResourceDataPlace& place : places)
        if (place.type == ResourceName{type, {}} && place.name == ResourceName{name, {}}) return place.offset;
    throw std::logic_error("no such resource in the section");
}

}  // namespace wrap
