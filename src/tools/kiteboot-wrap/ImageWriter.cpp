#include "ImageWriter.h"

#include <algorithm>
#include <cstring>
#include <memory>

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
    const PeChecksum& checksum() const { return checksum_; }

private:
    ImageSink& out_;
    PeChecksum checksum_;
};

void streamPayload(SummingWriter& writer, const ReadNext& payload, std::uint64_t size) {
    const auto buffer = std::make_unique<std::uint8_t[]>(streamBufferSize);
    while (size > 0) {
        const std::size_t want = size < streamBufferSize ? static_cast<std::size_t>(size) : streamBufferSize;
        const std::size_t got = payload(buffer.get(), want);
        if (got == 0) throw WrapError("the payload became shorter while it was read");
        writer.write(buffer.get(), got);
        size -= got;
    }
    std::uint8_t extra;
    if (payload(&extra, 1) != 0) throw WrapError("the payload became longer while it was read");
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

void writeImage(const ImagePlan& plan, const PeImage& stub, const ByteSource& stubFile,
                const ResourceSection& resources, const ReadNext& payload, ImageSink& out) {
    SummingWriter writer(out);
    writer.write(plan.headers);
    for (std::size_t i = 0; i < plan.sections.size(); ++i) {
        const SectionHeader& section = plan.sections[i];
        if (section.rawSize == 0) continue;
        writer.padTo(section.rawPointer);
        if (i == stub.resourceSection) {
            writer.write(resources.head);
            streamPayload(writer, payload, resources.streamedSize);
        } else {
            copySection(writer, stubFile, stub.sections[i]);
        }
        writer.padTo(std::uint64_t{section.rawPointer} + section.rawSize);
    }
    writer.padTo(plan.fileSize);
    std::uint8_t checksum[4];
    putU32(checksum, writer.checksum().finish());
    out.overwrite(plan.checksumOffset, checksum, sizeof checksum);
}

}  // namespace wrap
