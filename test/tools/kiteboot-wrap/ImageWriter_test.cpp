// The bootstrapper as laid out and written from a stub's model, byte for byte: each row's SHA-256 is that of
// the bytes kiteboot-wrap wrote before its layout was split into steps, so a step that moves one byte fails.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "AppendedPayload.h"
#include "ImagePlan.h"
#include "ImageWriter.h"
#include "ResourceSection.h"
#include "ResourceTree.h"
#include "StubModel.h"
#include "common/share/hashing/Sha256.h"

namespace {

using wrap::Bytes;

Bytes pattern(std::size_t size, std::uint32_t seed) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>((i * 31 + seed) ^ (i >> 8));
    return bytes;
}

wrap::Resource textResource(std::u16string type, std::u16string name, Bytes data) {
    wrap::Resource resource;
    resource.type.text = std::move(type);
    resource.name.text = std::move(name);
    resource.data = std::move(data);
    return resource;
}

// A stub's resources as kiteboot-wrap edits them: texts and numbers, two languages, odd sizes.
wrap::ResourceList editedResources() {
    wrap::ResourceList resources = {
        wrap::numberedResource(24, 1, pattern(381, 1)),   wrap::numberedResource(3, 2, pattern(1128, 2)),
        wrap::numberedResource(3, 1, pattern(296, 3)),    wrap::numberedResource(14, 101, pattern(34, 4)),
        wrap::numberedResource(16, 1, pattern(700, 5)),   textResource(u"KITEBOOT", {}, pattern(15, 6)),
        textResource(u"typelib", u"Name", pattern(3, 7)),
    };
    resources[5].name.id = 1;
    resources[1].language = 0;
    resources[4].codePage = 1200;
    wrap::Resource german = wrap::numberedResource(16, 1, pattern(9, 8));
    german.language = 1031;
    resources.push_back(german);
    return resources;
}

std::string sha256(const Bytes& bytes) {
    Sha256 hash;
    hash.add(bytes.data(), bytes.size());
    return Sha256::hex(hash.finish());
}

// The bootstrapper of the model stub, whose file is a pattern, with a payload of payloadSize bytes.
Bytes written(std::uint64_t payloadSize, bool appended) {
    wrap::PeImage stub = wrap_test::threeSectionStub();
    const Bytes file = pattern(0x1e00, 9);
    stub.headers.assign(file.begin(), file.begin() + 0x400);
    const wrap::ByteSource stubFile = wrap::ByteSource::ofBytes("stub", file);
    const Bytes payload = pattern(static_cast<std::size_t>(payloadSize), 10);
    const std::uint32_t rva = stub.sections[stub.resourceSection].virtualAddress;

    wrap::ResourceList resources = editedResources();
    wrap::AppendedPlacement placement;
    if (appended) {
        resources.push_back(wrap::payloadRecordResource({}));
        const wrap::ImagePlan image =
            wrap::planImage(stub, wrap::buildResourceSection(resources, rva).size());
        placement = wrap::placeAppended(image, stub.fileAlignment, payloadSize);
        resources.back() = wrap::payloadRecordResource(placement);
    } else {
        wrap::Resource streamed = wrap::numberedResource(wrap::typeRcdata, 100);
        streamed.streamed = true;
        streamed.streamedSize = payloadSize;
        resources.push_back(streamed);
    }
    const wrap::ResourceSection section = wrap::buildResourceSection(resources, rva);
    const wrap::ImagePlan plan = wrap::planImage(stub, section.size());
    std::size_t done = 0;
    wrap::BytesSink out;
    wrap::writeImage(
        plan, stub, stubFile, section,
        [&](std::uint8_t* buffer, std::size_t size) {
            const std::size_t count = std::min(size, payload.size() - done);
            std::copy_n(payload.begin() + static_cast<std::ptrdiff_t>(done), count, buffer);
            done += count;
            return count;
        },
        out, appended ? &placement : nullptr);
    return out.bytes;
}

TEST(ImageWriter, TheBootstrapperOfAModelStubIsTheSameByteForByte) {
    const struct {
        std::uint64_t payloadSize;
        bool appended;
        std::uint64_t fileSize;
        const char* sha256;
    } cases[] = {
        {0, false, 10240, "659266cbeacb73c6cb5739a186bbb303a51be7860dd8a13db7b53374ea69bc51"},
        {1, false, 10240, "fa88fec861c301362438070e60e5655b063d3f449ecc7cbba042eb74ae39573c"},
        {70001, false, 80384, "18acd6e6d2c321357343a08800882c75fe1080903b5c52151e58c53f2c8ae20f"},
        {70001, true, 80384, "ad77f3dfe0d9b9648077f1fceb6784aa2f44f3505cfbb5f8c778c42c2c8de425"},
        {512, true, 10752, "93fa4fc9db4037ce6855cacabc0db0483769f46b242e5de9bc7cea2f103074ab"},
    };
    for (const auto& c : cases) {
        const Bytes bytes = written(c.payloadSize, c.appended);
        EXPECT_EQ(bytes.size(), c.fileSize) << c.payloadSize << (c.appended ? " appended" : "");
        EXPECT_EQ(sha256(bytes), c.sha256) << c.payloadSize << (c.appended ? " appended" : "");
    }
}

}  // namespace
