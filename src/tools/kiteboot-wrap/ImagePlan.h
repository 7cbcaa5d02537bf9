// The layout of a bootstrapper: the stub's sections, its resource section replaced by one of a new size,
// the sections after it moved up, and every header field this changes. Computed once, here; the writer
// only follows it.
#pragma once

#include <cstdint>
#include <vector>

#include "PeImage.h"

namespace wrap {

struct ImagePlan {
    Bytes headers;  // the stub's header bytes with every changed field set; the checksum 0
    std::vector<SectionHeader> sections;  // in the stub's order, so index i holds the stub's section i
    std::uint32_t checksumOffset = 0;
    std::uint64_t fileSize = 0;
};

// Throws WrapError when the image would exceed the 4 GiB a Windows executable can address.
ImagePlan planImage(const PeImage& stub, std::uint64_t resourceSectionSize);

}  // namespace wrap
