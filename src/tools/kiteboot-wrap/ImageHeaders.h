// The bootstrapper's headers as the writer puts them first: the stub's header bytes with every field its
// plan changes set (the section table, SizeOfInitializedData, SizeOfImage, the resource and base relocation
// directories), what does not carry over cleared (the certificate directory, the symbol table) and the
// checksum 0, which the writer fills in last.
#pragma once

#include <cstdint>

#include "ByteOrder.h"
#include "ImagePlan.h"
#include "PeImage.h"

namespace wrap {

// plan is planImage(stub, ...) of a bootstrapper that fits largestImage.
Bytes imageHeaders(const ImagePlan& plan, const PeImage& stub);

// Where the checksum lies in the headers.
std::uint32_t checksumOffset(const PeImage& stub);

}  // namespace wrap
