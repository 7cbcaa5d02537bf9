// The payload carried after the image: a bootstrapper whose payload does not fit a 2 GiB image carries it
// after its last section, and the image gets resource RT_RCDATA 101, a record of where the payload lies,
// how long it is and its SHA-256 (PayloadRecord). The record lies inside the image, so a signature made
// after wrapping covers it, and the payload's bytes with it.
#pragma once

#include <cstdint>
#include <string>

#include "ImagePlan.h"
#include "ResourceTree.h"
#include "common/share/PayloadRecord.h"

namespace wrap {

constexpr std::uint16_t payloadRecordId = kPayloadRecordId;

// The largest bootstrapper with its payload appended, before it is signed: 4 GiB less 1 MiB. A signature
// is put after the payload as the certificate table, which the headers find by a 32-bit file offset and
// size, and Windows does not start an executable file of 4 GiB or more; the 1 MiB left is room for the
// table (a signature with its certificates and a time stamp takes a few kilobytes).
constexpr std::uint64_t largestAppended = (std::uint64_t{1} << 32) - (std::uint64_t{1} << 20);

// Where the payload goes in a bootstrapper whose image (without the payload) is laid out as plan: from
// the end of the image, on the file alignment, and padded with zeros to the file alignment, so a signer
// need not pad the file before the certificate table.
struct AppendedPlacement {
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
    std::uint64_t fileSize = 0;  // the whole file's, padding included
};
AppendedPlacement placeAppended(const ImagePlan& plan, std::uint32_t fileAlignment, std::uint64_t length);

// "" when the bootstrapper fits largestAppended, or the sentence that says it does not, with the sizes.
std::string appendedSizeProblem(const AppendedPlacement& placement);

// The record resource for a payload placed so; its SHA-256 zeros until the payload has been read.
Resource payloadRecordResource(const AppendedPlacement& placement);

}  // namespace wrap
