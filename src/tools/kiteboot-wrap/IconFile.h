// An .ico file as the resources that carry it: one RT_ICON per image and the icon group that lists them.
#pragma once

#include <cstdint>

#include "ByteOrder.h"
#include "ResourceTree.h"

namespace wrap {

// The icon resources of an .ico already checked by iconContentProblem: images numbered from 1 in the
// file's order, and the group groupId whose entries are the file's directory entries with the image's
// number in place of its offset.
ResourceList iconResources(const Bytes& ico, std::uint16_t groupId);

}  // namespace wrap
