#include "OutputCheck.h"

#include <algorithm>
#include <cstring>

#include "ImageWriter.h"
#include "PeChecksum.h"
#include "PeLayout.h"
#include "StartableImage.h"
#include "Wrap.h"
#include "WrapError.h"

namespace wrap {

namespace {

// Where the bootstrapper's bytes hold the payload, as its headers and resources say.
struct CarriedPayload {
    std::uint64_t offset = 0;  // in the file
    std::uint64_t size = 0;
};

bool isPayload(const Resource& resource) {
    return isNumbered(resource, typeRcdata, payloadId);
}

// The one place that knows how a bootstrapper carries its payload: as the resource RT_RCDATA 100, once.
// (A payload carried another way is found here by what records it, and checked against what is recorded.)
CarriedPayload findPayload(const ByteSource& written, const PeImage& image, const ResourceList& resources) {
    const auto count = std::count_if(resources.begin(), resources.end(), isPayload);
    if (count != 1)
        throw WrapError(written.owner() + " carries " + std::to_string(count) +
                        " resources RT_RCDATA 100; it must carry the payload as exactly one");
    const Resource& payload = *std::find_if(resources.begin(), resources.end(), isPayload);
    return {image.sections[image.resourceSection].rawPointer + payload.sectionOffset, payload.streamedSize};
}

}  // namespace

void checkBootstrapper(const ByteSource& written, const ByteSource& payload) {
    const PeImage image = readPeImage(written);
    requireStartable(image, written);
    const std::uint32_t rva = image.sections[image.resourceSection].virtualAddress;
    const ResourceList resources = readResourceSection(image.resourceBytes(written), rva, isPayload);
    if (const std::string problem = manifestProblem(written.owner(), resources); !problem.empty())
        throw WrapError(problem);
    const CarriedPayload carried = findPayload(written, image, resources);
    if (carried.size != payload.size())
        throw WrapError(written.owner() + " carries a payload of " + std::to_string(carried.size) +
                        " bytes; the installer has " + std::to_string(payload.size()));

    // One pass over the file: the checksum summed (its own field as zeros) and the payload's bytes compared.
    const std::uint64_t checksumAt = image.optionalHeader + pe::optional::checkSum;
    PeChecksum checksum;
    Bytes piece(streamBufferSize);
    Bytes expected(streamBufferSize);
    for (std::uint64_t at = 0; at < written.size();) {
        const std::size_t count =
            static_cast<std::size_t>(std::min<std::uint64_t>(written.size() - at, streamBufferSize));
        written.read(at, piece.data(), count, "its bytes");
        for (std::uint64_t i = checksumAt; i < checksumAt + 4; ++i)
            if (i >= at && i < at + count) piece[static_cast<std::size_t>(i - at)] = 0;
        checksum.add(piece.data(), count);
        const std::uint64_t from = std::max(at, carried.offset);
        const std::uint64_t to = std::min(at + count, carried.offset + carried.size);
        if (from < to) {
            const auto length = static_cast<std::size_t>(to - from);
            payload.read(from - carried.offset, expected.data(), length, "the installer's bytes");
            if (std::memcmp(&piece[static_cast<std::size_t>(from - at)], expected.data(), length) != 0)
                throw WrapError(written.owner() +
                                " does not carry the installer byte for byte: they differ " +
                                "between offsets " + hexNumber(from - carried.offset) + " and " +
                                hexNumber(to - carried.offset) + " of the installer");
        }
        at += count;
    }
    const std::uint32_t recorded = written.u32(checksumAt, "its CheckSum");
    if (recorded != checksum.finish())
        throw WrapError(written.owner() + " has the CheckSum " + hexNumber(recorded) + "; its bytes sum to " +
                        hexNumber(checksum.finish()));
}

}  // namespace wrap
