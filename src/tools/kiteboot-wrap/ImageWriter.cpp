#include "ImageWriter.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>

#include "HashWorker.h"
#include "ImageHeaders.h"
#include "PeChecksum.h"
#include "ShownText.h"
#include "WrapError.h"

namespace wrap {

namespace {

// Writes and sums every byte of the file.
class SummingWriter {
public:
    explicit SummingWriter(ImageSink& out) : out_(out) {}

    void write(const std::uint8_t* data, std::size_t size) {
        checksum_.add(data, size);
        out_.write(data, size);
    }
    void write(const Bytes& bytes) { write(bytes.data(), bytes.size()); }
    void padTo(std::uint64_t offset) {
        if (offset < out_.position()) throw WrapError("the stub's sections overlap in its file");
        static const std::uint8_t zeros[4096] = {};
        while (out_.position() < offset) {
            const std::uint64_t left = offset - out_.position();
            write(zeros, left < sizeof zeros ? static_cast<std::size_t>(left) : sizeof zeros);
        }
    }
    // Bytes put over zeros written before, at offset.
    void fillIn(std::uint64_t offset, const std::uint8_t* data, std::size_t size) {
        out_.overwrite(offset, data, size);
        checksum_.addInPlaceOfZeros(offset, data, size);
    }
    const PeChecksum& checksum() const { return checksum_; }

private:
    ImageSink& out_;
    PeChecksum checksum_;
};

// The fingerprints of a payload's two halves (halfOf), from bytes handed in pieces of any size.
class HalvesFingerprint {
public:
    explicit HalvesFingerprint(std::uint64_t size) : firstLeft_(halfOf(size)) {}
    void add(const std::uint8_t* data, std::size_t size) {
        const std::size_t first = static_cast<std::size_t>(std::min<std::uint64_t>(firstLeft_, size));
        halves_[0].add(data, first);
        halves_[1].add(data + first, size - first);
        firstLeft_ -= first;
    }
    std::array<CopyFingerprint::Value, 2> finish() const {
        return {halves_[0].finish(), halves_[1].finish()};
    }

private:
    std::uint64_t firstLeft_;
    CopyFingerprint halves_[2];
};

// Copies size bytes of the payload through a ring of buffers; when hashed, each piece read is hashed on the
// worker's thread while it is fingerprinted and written and the next pieces are read into the other buffers,
// and what was seen of the payload is returned (zeros otherwise). The worker is made after the buffers, so
// it is done with them before they go.
WrittenPayload streamPayload(SummingWriter& writer, const ReadNext& payload, std::uint64_t size,
                             bool hashed) {
    const std::size_t ring = hashed ? HashWorker::depth + 1 : 1;  // never a buffer still waiting to be hashed
    const auto buffers = std::make_unique<std::uint8_t[]>(ring * streamBufferSize);
    std::optional<HashWorker> hash;
    if (hashed) hash.emplace();
    HalvesFingerprint fingerprint(size);
    for (std::size_t which = 0; size > 0; which = (which + 1) % ring) {
        std::uint8_t* buffer = buffers.get() + which * streamBufferSize;
        const std::size_t want = size < streamBufferSize ? static_cast<std::size_t>(size) : streamBufferSize;
        const std::size_t got = payload(buffer, want);
        if (got == 0) throw WrapError("the payload became shorter while it was read");
        if (hash) {
            hash->add(buffer, got);
            fingerprint.add(buffer, got);
        }
        writer.write(buffer, got);
        size -= got;
    }
    std::uint8_t extra;
    if (payload(&extra, 1) != 0) throw WrapError("the payload became longer while it was read");
    if (!hash) return {};
    return {hash->finish(), fingerprint.finish()};
}

// The stub's section as it lies in its file, through the same fixed buffer size.
void copySection(SummingWriter& writer, const ByteSource& stubFile, const SectionHeader& section) {
    for (std::uint64_t done = 0; done < section.rawSize;) {
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(section.rawSize - done, streamBufferSize));
        writer.write(stubFile.bytes(section.rawPointer + done, want, "section " + inQuotes(section.name)));
        done += want;
    }
}

}  // namespace

void BytesSink::overwrite(std::uint64_t offset, const std::uint8_t* data, std::size_t size) {
    if (!fitsWithin(offset, size, bytes.size())) throw WrapError("an overwrite passes the end of the image");
    std::memcpy(&bytes[static_cast<std::size_t>(offset)], data, size);
}

WrittenPayload writeImage(const ImagePlan& plan, const PeImage& stub, const ByteSource& stubFile,
                          const ResourceSection& resources, const ReadNext& payload, ImageSink& out,
                          const AppendedPlacement* appended) {
    SummingWriter writer(out);
    WrittenPayload written;
    writer.write(imageHeaders(plan, stub));
    for (std::size_t i = 0; i < plan.sections.size(); ++i) {
        const SectionHeader& section = plan.sections[i];
        if (section.rawSize == 0) continue;
        writer.padTo(section.rawPointer);
        if (i == stub.resourceSection) {
            writer.write(resources.head);
            if (!appended) streamPayload(writer, payload, resources.streamedSize, false);
        } else {
            copySection(writer, stubFile, stub.sections[i]);
        }
        writer.padTo(std::uint64_t{section.rawPointer} + section.rawSize);
    }
    writer.padTo(plan.fileSize);
    if (appended) {
        writer.padTo(appended->offset);
        written = streamPayload(writer, payload, appended->length, true);
        writer.padTo(appended->fileSize);
        const std::uint64_t record = std::uint64_t{plan.sections[stub.resourceSection].rawPointer} +
                                     resources.dataOffset(typeRcdata, payloadRecordId);
        writer.fillIn(record + kPayloadRecordHashOffset, written.sha256.data(), written.sha256.size());
    }
    std::uint8_t checksum[4];
    putU32(checksum, writer.checksum().finish());
    out.overwrite(checksumOffset(stub), checksum, sizeof checksum);
    return written;
}

}  // namespace wrap
