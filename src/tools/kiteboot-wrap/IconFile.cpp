#include "IconFile.h"

namespace wrap {

namespace {

constexpr std::size_t icoHeaderSize = 6;
constexpr std::size_t icoEntrySize = 16;
constexpr std::size_t entryFieldsKept = 12;  // size, colours, planes, bit count, byte count

}  // namespace

ResourceList iconResources(const Bytes& ico, std::uint16_t groupId) {
    const std::uint16_t count = getU16(&ico[4]);
    ResourceList resources;
    Resource group =
        numberedResource(typeGroupIcon, groupId, Bytes(ico.begin(), ico.begin() + icoHeaderSize));
    for (std::uint16_t i = 0; i < count; ++i) {
        const std::uint8_t* entry = &ico[icoHeaderSize + icoEntrySize * i];
        const std::uint16_t id = static_cast<std::uint16_t>(i + 1);
        group.data.insert(group.data.end(), entry, entry + entryFieldsKept);
        appendU16(group.data, id);
        const std::uint32_t size = getU32(entry + 8);
        const std::uint32_t offset = getU32(entry + 12);
        resources.push_back(
            numberedResource(typeIcon, id, Bytes(ico.begin() + offset, ico.begin() + offset + size)));
    }
    resources.push_back(std::move(group));
    return resources;
}

}  // namespace wrap
