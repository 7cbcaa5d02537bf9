#include "OutputCheck.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "AppendedPayload.h"
#include "BackgroundTask.h"
#include "CopyFingerprint.h"
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
    std::optional<Sha256::Digest> recorded;  // carried after the image: the SHA-256 its record holds
};

bool isPayload(const Resource& resource) {
    return isNumbered(resource, typeRcdata, payloadId);
}

bool isRecord(const Resource& resource) {
    return isNumbered(resource, typeRcdata, payloadRecordId);
}

// Where the image ends in the file: after the headers and the furthest section's contents.
std::uint64_t imageEndInFile(const PeImage& image) {
    std::uint64_t end = image.headers.size();
    for (const SectionHeader& section : image.sections)
        end = std::max(end, std::uint64_t{section.rawPointer} + section.rawSize);
    return end;
}

// A payload carried after the image, as its record says: after the image, within the file and before a
// certificate table, where a signature put after wrapping would go.
CarriedPayload appendedPayload(const ByteSource& written, const PeImage& image, const Resource& resource) {
    const std::optional<PayloadRecord> record =
        decodePayloadRecord(resource.data.data(), resource.data.size());
    const std::string where = " its payload's record (resource RT_RCDATA 101)";
    if (!record)
        throw WrapError(written.owner() + " carries" + where + " in a form kiteboot-wrap does not write (" +
                        std::to_string(resource.data.size()) + " bytes)");
    const std::string payload = "the payload it records (" + std::to_string(record->length) + " bytes at " +
                                hexNumber(record->offset) + ")";
    if (record->offset < imageEndInFile(image))
        throw WrapError(written.owner() + ": " + payload + " starts inside its image, which ends at " +
                        hexNumber(imageEndInFile(image)) + " in the file");
    if (!fitsWithin(record->offset, record->length, written.size()))
        throw WrapError(written.owner() + ": " + payload + " passes the end of the file (" +
                        std::to_string(written.size()) + " bytes)");
    const DataDirectory certificates = image.directories.size() > pe::directory::certificate
                                           ? image.directories[pe::directory::certificate]
                                           : DataDirectory{};
    if (certificates.size != 0 && certificates.virtualAddress < record->end())
        throw WrapError(written.owner() + ": its certificate table at " +
                        hexNumber(certificates.virtualAddress) + " lies before the end of " + payload +
                        ", so a signature would not follow it");
    return {record->offset, record->length, record->sha256};
}

// The one place that knows how a bootstrapper carries its payload: as the resource RT_RCDATA 100, or after
// the image with the record RT_RCDATA 101 in its place; exactly one of them.
CarriedPayload findPayload(const ByteSource& written, const PeImage& image, const ResourceList& resources) {
    const auto payloads = std::count_if(resources.begin(), resources.end(), isPayload);
    const auto records = std::count_if(resources.begin(), resources.end(), isRecord);
    if (payloads + records != 1)
        throw WrapError(written.owner() + " carries " + std::to_string(payloads) +
                        " resources RT_RCDATA 100 " + "and " + std::to_string(records) +
                        " RT_RCDATA 101; it must carry exactly one of them: " +
                        "the payload, or the record of the payload after its image");
    if (records == 1)
        return appendedPayload(written, image, *std::find_if(resources.begin(), resources.end(), isRecord));
    const Resource& payload = *std::find_if(resources.begin(), resources.end(), isPayload);
    return {
        image.sections[image.resourceSection].rawPointer + payload.sectionOffset, payload.streamedSize, {}};
}

// What a pass over part of the file found: the checksum of its bytes and the fingerprint of the payload's
// bytes among them, when the payload lies after the image.
struct PassSums {
    PeChecksum checksum;
    CopyFingerprint fingerprint;
};

// A pass over the bootstrapper written, part by part.
struct FilePass {
    const ByteSource& written;
    const ByteSource& payload;
    const CarriedPayload& carried;
    std::uint64_t checksumAt;

    // The bytes in [from, to) read in pieces of streamBufferSize; a payload in the image compared with the
    // installer's bytes on the way.
    PassSums sum(std::uint64_t from, std::uint64_t to) const {
        PassSums sums{PeChecksum::from(from), {}};
        Bytes piece(streamBufferSize);
        Bytes expected(carried.recorded ? 0
                                        : streamBufferSize);  // the installer, beside a payload in the image
        for (std::uint64_t at = from; at < to;) {
            const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(to - at, streamBufferSize));
            written.read(at, piece.data(), count, "its bytes");
            for (std::uint64_t i = checksumAt; i < checksumAt + 4; ++i)
                if (i >= at && i < at + count) piece[static_cast<std::size_t>(i - at)] = 0;
            sums.checksum.add(piece.data(), count);
            const std::uint64_t carriedFrom = std::max(at, carried.offset);
            const std::uint64_t carriedTo = std::min(at + count, carried.offset + carried.size);
            if (carriedFrom < carriedTo)
                checkCarried(&piece[static_cast<std::size_t>(carriedFrom - at)], carriedFrom, carriedTo,
                             expected, sums.fingerprint);
            at += count;
        }
        return sums;
    }

    // The payload's bytes at [from, to) of the file: fingerprinted, or compared with the installer's.
    void checkCarried(const std::uint8_t* bytes, std::uint64_t from, std::uint64_t to, Bytes& expected,
                      CopyFingerprint& fingerprint) const {
        const auto length = static_cast<std::size_t>(to - from);
        if (carried.recorded) {
            fingerprint.add(bytes, length);
            return;
        }
        payload.read(from - carried.offset, expected.data(), length, "the installer's bytes");
        if (std::memcmp(bytes, expected.data(), length) != 0)
            throw WrapError(written.owner() + " does not carry the installer byte for byte: they differ " +
                            "between offsets " + hexNumber(from - carried.offset) + " and " +
                            hexNumber(to - carried.offset) + " of the installer");
    }
};

}  // namespace

void checkBootstrapper(const ByteSource& written, const ByteSource& payload, const WrittenPayload& wrote) {
    const PeImage image = readPeImage(written);
    requireStartable(image, written);
    const std::uint32_t rva = image.sections[image.resourceSection].virtualAddress;
    const ResourceList resources = readResourceSection(image.resourceBytes(written), rva, isPayload);
    throwIfProblem(manifestProblem(written.owner(), resources));
    const CarriedPayload carried = findPayload(written, image, resources);
    if (carried.size != payload.size())
        throw WrapError(written.owner() + " carries a payload of " + std::to_string(carried.size) +
                        " bytes; the installer has " + std::to_string(payload.size()));
    if (carried.recorded && *carried.recorded != wrote.sha256)
        throw WrapError(written.owner() + " carries a payload after its image whose SHA-256 is " +
                        Sha256::hex(wrote.sha256) + "; its record holds " + Sha256::hex(*carried.recorded));

    // One pass over the file: the checksum summed (its own field as zeros) and the payload's bytes checked.
    // A payload in the image is compared with the installer's bytes; one after the image, which may be
    // gigabytes, with the fingerprints of the bytes the writer read, so the installer is not read again,
    // and its second half is read back on a thread of its own.
    const std::uint64_t checksumAt = image.optionalHeader + pe::optional::checkSum;
    const std::uint64_t middle = carried.recorded ? carried.offset + halfOf(carried.size) : written.size();
    const FilePass pass{written, payload, carried, checksumAt};
    PassSums later;
    std::optional<BackgroundTask> secondHalf;
    if (middle < written.size()) secondHalf.emplace([&] { later = pass.sum(middle, written.size()); });
    PassSums sums = pass.sum(0, middle);
    if (secondHalf) {
        secondHalf->wait();
        sums.checksum.join(later.checksum);
    }
    if (carried.recorded && (sums.fingerprint.finish() != wrote.fingerprints[0] ||
                             later.fingerprint.finish() != wrote.fingerprints[1]))
        throw WrapError(written.owner() + " does not carry the installer as it was read: the " +
                        std::to_string(carried.size) + " bytes after its image differ from those written");
    const std::uint32_t recorded = written.u32(checksumAt, "its CheckSum");
    if (recorded != sums.checksum.finish())
        throw WrapError(written.owner() + " has the CheckSum " + hexNumber(recorded) + "; its bytes sum to " +
                        hexNumber(sums.checksum.finish()));
}

}  // namespace wrap
