#include "ResourceSection.h"

#include <algorithm>

#include "WrapError.h"

namespace wrap {

namespace {

constexpr int typeLevel = 0;      // the root: an entry per type
constexpr int nameLevel = 1;      // a directory per type: an entry per name
constexpr int languageLevel = 2;  // a directory per type and name: an entry per language

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

// What a directory's entry names: the type at the root, the name below it.
const ResourceName& entryKey(const Resource& resource, int level) {
    return level == typeLevel ? resource.type : resource.name;
}

std::uint32_t directorySize(const ResourceDirectory& directory) {
    return resourceDirectorySize + resourceEntrySize * static_cast<std::uint32_t>(directory.entries.size());
}

// An entry's name field: the number, or the offset of the text with the high bit set.
std::uint32_t nameField(const ResourceName& name, std::uint32_t textOffset) {
    return name.text.empty() ? name.id : resourceHighBit | textOffset;
}

// Zeros up to offset, then bytes.
void putAt(Bytes& out, std::uint64_t offset, const Bytes& bytes) {
    out.resize(static_cast<std::size_t>(offset), 0);
    out.insert(out.end(), bytes.begin(), bytes.end());
}

void writeDirectory(Bytes& out, const ResourceDirectoryTree& tree, const ResourceLayout& layout, int level,
                    const ResourceDirectory& directory) {
    const auto named = std::count_if(directory.entries.begin(), directory.entries.end(), [&](std::size_t i) {
        return level != languageLevel && !entryKey(tree.resources[i], level).text.empty();
    });
    appendU32(out, 0);  // characteristics
    appendU32(out, 0);  // time stamp
    appendU32(out, 0);  // version
    appendU16(out, static_cast<std::uint16_t>(named));
    appendU16(out, static_cast<std::uint16_t>(directory.entries.size() - named));
    for (std::size_t k = 0; k < directory.entries.size(); ++k) {
        const std::size_t i = directory.entries[k];
        const Resource& resource = tree.resources[i];
        if (level == typeLevel) appendU32(out, nameField(resource.type, layout.typeTexts[i]));
        if (level == nameLevel) appendU32(out, nameField(resource.name, layout.nameTexts[i]));
        if (level == languageLevel) {
            appendU32(out, resource.language);
            appendU32(out, layout.dataEntries + resourceDataEntrySize * static_cast<std::uint32_t>(i));
        } else {
            appendU32(out, resourceHighBit | layout.directories[level + 1][directory.firstChild + k]);
        }
    }
}

Bytes nameText(const ResourceName& name) {
    Bytes text;
    appendU16(text, static_cast<std::uint16_t>(name.text.size()));
    appendUtf16(text, name.text);
    return text;
}

}  // namespace

ResourceDirectoryTree buildResourceTree(ResourceList resources) {
    ResourceDirectoryTree tree;
    std::stable_sort(resources.begin(), resources.end(), resourceLess);
    tree.resources = std::move(resources);
    const ResourceList& sorted = tree.resources;
    for (std::size_t i = 0; i < sorted.size(); ++i) {
        if (!sorted[i].streamed) continue;
        if (tree.streamed) throw WrapError("more than one streamed resource");
        tree.streamed = i;
    }
    const auto sameType = [&](std::size_t a, std::size_t b) { return sorted[a].type == sorted[b].type; };
    const auto sameName = [&](std::size_t a, std::size_t b) {
        return sameType(a, b) && sorted[a].name == sorted[b].name;
    };
    const auto never = [](std::size_t, std::size_t) { return false; };
    tree.levels[typeLevel].push_back({0, sorted.size(), runStarts(0, sorted.size(), sameType)});
    for (int level = nameLevel; level <= languageLevel; ++level)
        for (ResourceDirectory& parent : tree.levels[level - 1]) {
            parent.firstChild = tree.levels[level].size();
            for (std::size_t k = 0; k < parent.entries.size(); ++k) {
                const std::size_t begin = parent.entries[k];
                const std::size_t end = k + 1 < parent.entries.size() ? parent.entries[k + 1] : parent.end;
                tree.levels[level].push_back(
                    {begin, end,
                     level == nameLevel ? runStarts(begin, end, sameName) : runStarts(begin, end, never)});
            }
        }
    return tree;
}

ResourceLayout layOutResources(const ResourceDirectoryTree& tree) {
    ResourceLayout layout;
    const std::size_t count = tree.resources.size();
    std::uint64_t offset = 0;
    for (int level = typeLevel; level <= languageLevel; ++level)
        for (const ResourceDirectory& directory : tree.levels[level]) {
            layout.directories[level].push_back(static_cast<std::uint32_t>(offset));
            offset += directorySize(directory);
        }
    layout.dataEntries = static_cast<std::uint32_t>(offset);
    offset += std::uint64_t{resourceDataEntrySize} * count;

    // The texts in the order the directories name them: the types', then the names'.
    layout.typeTexts.assign(count, 0);
    layout.nameTexts.assign(count, 0);
    for (int level = typeLevel; level <= nameLevel; ++level)
        for (const ResourceDirectory& directory : tree.levels[level])
            for (std::size_t i : directory.entries) {
                const ResourceName& key = entryKey(tree.resources[i], level);
                if (key.text.empty()) continue;
                (level == typeLevel ? layout.typeTexts : layout.nameTexts)[i] =
                    static_cast<std::uint32_t>(offset);
                offset += 2 + 2 * key.text.size();
            }

    // The data: the held resources in directory order, the streamed one last.
    layout.data.assign(count, 0);
    offset = alignUp(offset, resourceDataAlignment);
    for (std::size_t i = 0; i < count; ++i) {
        if (i == tree.streamed) continue;
        offset = alignUp(offset, resourceDataAlignment);
        layout.data[i] = static_cast<std::uint32_t>(offset);
        offset += tree.resources[i].data.size();
    }
    if (tree.streamed) {
        offset = alignUp(offset, streamedDataAlignment);
        layout.data[*tree.streamed] = static_cast<std::uint32_t>(offset);
    }
    layout.headSize = static_cast<std::uint32_t>(offset);
    return layout;
}

Bytes writeResources(const ResourceDirectoryTree& tree, const ResourceLayout& layout,
                     std::uint32_t sectionRva) {
    Bytes out;
    for (int level = typeLevel; level <= languageLevel; ++level)
        for (const ResourceDirectory& directory : tree.levels[level])
            writeDirectory(out, tree, layout, level, directory);
    for (std::size_t i = 0; i < tree.resources.size(); ++i) {
        appendU32(out, sectionRva + layout.data[i]);
        appendU32(out, static_cast<std::uint32_t>(tree.resources[i].size()));
        appendU32(out, tree.resources[i].codePage);
        appendU32(out, 0);
    }
    for (std::size_t i = 0; i < tree.resources.size(); ++i) {
        if (layout.typeTexts[i] != 0) putAt(out, layout.typeTexts[i], nameText(tree.resources[i].type));
    }
    for (std::size_t i = 0; i < tree.resources.size(); ++i) {
        if (layout.nameTexts[i] != 0) putAt(out, layout.nameTexts[i], nameText(tree.resources[i].name));
    }
    for (std::size_t i = 0; i < tree.resources.size(); ++i)
        if (i != tree.streamed) putAt(out, layout.data[i], tree.resources[i].data);
    out.resize(layout.headSize, 0);
    return out;
}

ResourceSection buildResourceSection(ResourceList resources, std::uint32_t sectionRva) {
    const ResourceDirectoryTree tree = buildResourceTree(std::move(resources));
    const ResourceLayout layout = layOutResources(tree);
    ResourceSection section;
    section.head = writeResources(tree, layout, sectionRva);
    if (tree.streamed) section.streamedSize = tree.resources[*tree.streamed].streamedSize;
    for (std::size_t i = 0; i < tree.resources.size(); ++i)
        section.places.push_back({tree.resources[i].type, tree.resources[i].name, layout.data[i]});
    return section;
}

std::uint32_t ResourceSection::dataOffset(std::uint16_t type, std::uint16_t name) const {
    for (const ResourceDataPlace& place : places)
        if (place.type == ResourceName{type, {}} && place.name == ResourceName{name, {}}) return place.offset;
    throw WrapError("no such resource in the section");
}

}  // namespace wrap
