#include "AppendedPayload.h"

namespace wrap {

AppendedPlacement placeAppended(const ImagePlan& plan, std::uint32_t fileAlignment, std::uint64_t length) {
    AppendedPlacement placement;
    placement.offset = alignUp(plan.fileSize, fileAlignment);
    placement.length = length;
    placement.fileSize = alignUp(placement.offset + length, fileAlignment);
    return placement;
}

std::string appendedSizeProblem(const AppendedPlacement& placement) {
    if (placement.fileSize <= largestAppended) return "";
    const auto mebibytes = [](std::uint64_t bytes) {
        return std::to_string(bytes >> 20) + " MiB (" + std::to_string(bytes) + " bytes)";
    };
    return "the payload of " + mebibytes(placement.length) + " is too large: the bootstrapper would take " +
           mebibytes(placement.fileSize) + ", and one that carries its payload after the image may take at " +
           "most 4 GiB less 1 MiB (" + std::to_string(largestAppended) +
           " bytes), so that a signature still fits below 4 GiB";
}

Resource payloadRecordResource(const AppendedPlacement& placement) {
    PayloadRecord record;
    record.offset = placement.offset;
    record.length = placement.length;
    const auto bytes = encodePayloadRecord(record);
    return numberedResource(typeRcdata, payloadRecordId, Bytes(bytes.begin(), bytes.end()));
}

}  // namespace wrap
