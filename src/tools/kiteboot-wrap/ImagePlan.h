// The layout of a bootstrapper: the stub's sections, its resource section replaced by one of a new size,
// the sections after it moved up, the image's size and the file's. Computed once, here; the writer only
// follows it (and sets the header fields it changes: ImageHeaders.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "PeImage.h"

namespace wrap {

// The largest image kiteboot-wrap writes: Microsoft's linker refuses images above 2 GiB, and no Windows
// loader has been seen to run one.
constexpr std::uint64_t largestImage = std::uint64_t{1} << 31;

struct ImagePlan {
    std::vector<SectionHeader> sections;  // in the stub's order, so index i holds the stub's section i
    std::uint64_t imageSize = 0;          // SizeOfImage, before it is cut to its 32-bit field
    std::uint64_t fileSize = 0;
};

// The plan for a resource section of the given size. Its numbers are right only when it fits the largest
// image (fitsLargestImage).
ImagePlan planImage(const PeImage& stub, std::uint64_t resourceSectionSize);

// Whether the bootstrapper fits largestImage; otherwise it carries its payload after the image instead
// (AppendedPayload.h).
bool fitsLargestImage(const ImagePlan& plan);

// What the payload's size alone tells, before the stub is read, so that it is reported with the other
// problems of the inputs: a payload larger than largestAppended (AppendedPayload.h) makes a bootstrapper
// larger still. "" otherwise; the plan then decides.
std::string payloadSizeProblem(std::uint64_t payloadSize);

}  // namespace wrap
