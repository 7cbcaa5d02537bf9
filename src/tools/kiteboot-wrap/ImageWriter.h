// Writes a bootstrapper in one sequential pass that follows its plan: headers, the stub's sections copied
// from its file, the new resource section with the payload streamed through a fixed buffer; the checksum is
// summed on the way and put into the header last.
#pragma once

#include <array>
#include <functional>

#include "AppendedPayload.h"
#include "ByteSource.h"
#include "CopyFingerprint.h"
#include "ImagePlan.h"
#include "ResourceSection.h"
#include "common/share/hashing/Sha256.h"

namespace wrap {

// The size of the buffers the payload passes through (a few of them): memory does not grow with the payload.
constexpr std::size_t streamBufferSize = 1 << 20;

// Where a bootstrapper's bytes go: the output's temporary file, or memory (tests, fuzzing).
class ImageSink {
public:
    virtual ~ImageSink() = default;
    // Each throws WrapError when the bytes cannot be written.
    virtual void write(const std::uint8_t* data, std::size_t size) = 0;
    // Overwrites bytes already written, at offset.
    virtual void overwrite(std::uint64_t offset, const std::uint8_t* data, std::size_t size) = 0;
    virtual std::uint64_t position() const = 0;
};

// A bootstrapper held in memory.
class BytesSink : public ImageSink {
public:
    void write(const std::uint8_t* data, std::size_t size) override {
        bytes.insert(bytes.end(), data, data + size);
    }
    void overwrite(std::uint64_t offset, const std::uint8_t* data, std::size_t size) override;
    std::uint64_t position() const override { return bytes.size(); }

    Bytes bytes;
};

// The payload's next bytes into buffer, at most size; the count read, 0 at its end. Throws WrapError on a
// failed read.
using ReadNext = std::function<std::size_t(std::uint8_t* buffer, std::size_t size)>;

// What the writer saw of a payload it wrote after the image, as it read it once: what the check of the
// written file compares the bytes it reads back with. Zeros for a payload in the resource section.
struct WrittenPayload {
    Sha256::Digest sha256{};
    // The fingerprints of the bytes before halfOf(the payload's size) and of those from there on.
    std::array<CopyFingerprint::Value, 2> fingerprints{};
};

// Where a payload after the image is parted in two for its fingerprints, so that the check can read the
// halves back on two threads.
constexpr std::uint64_t halfOf(std::uint64_t payloadSize) {
    return payloadSize / 2;
}

// stub is the file the stub's model was read from; payload supplies the resource section's streamed bytes
// (exactly resources.streamedSize of them) or, when appended is given, the bytes written after the image,
// whose SHA-256, computed on a second thread while they are written, is then put into the record (resource
// RT_RCDATA 101) and returned with the bytes' fingerprint: the payload is read once. Throws WrapError on a
// failed read or write and when a file's size changed.
WrittenPayload writeImage(const ImagePlan& plan, const PeImage& stub, const ByteSource& stubFile,
                          const ResourceSection& resources, const ReadNext& payload, ImageSink& out,
                          const AppendedPlacement* appended = nullptr);

}  // namespace wrap
