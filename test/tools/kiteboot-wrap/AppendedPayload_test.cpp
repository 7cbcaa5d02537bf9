// The place of a payload carried after the image, and its limit.
#include <gtest/gtest.h>

#include <cstdint>

#include "AppendedPayload.h"
#include "ImagePlan.h"
#include "StubModel.h"

namespace {

// Beyond 2 GiB the payload goes after the image, from the image's end on the file alignment, padded to it;
// the whole file may take 4 GiB less 1 MiB, the rest kept for a signature below 4 GiB.
TEST(AppendedPayload, PlacedAfterTheImageAlignedAndRefusedAboveTheSignableLimit) {
    const wrap::ImagePlan image = wrap::planImage(wrap_test::threeSectionStub(), 0x300);  // file size 0x1e00
    const std::uint64_t room = wrap::largestAppended - 0x1e00;
    const struct {
        std::uint64_t length, fileSize;
        const char* problem;
    } cases[] = {
        {1, 0x2000, ""},
        {0x200, 0x2000, ""},
        {0x201, 0x2200, ""},
        {room, wrap::largestAppended, ""},  // 4 GiB less 1 MiB exactly
        {room + 1, wrap::largestAppended + 0x200,
         "the payload of 4094 MiB (4293911041 bytes) is too large: the bootstrapper would take 4095 MiB "
         "(4293919232 bytes), and one that carries its payload after the image may take at most 4 GiB less "
         "1 MiB (4293918720 bytes), so that a signature still fits below 4 GiB"},
    };
    for (const auto& c : cases) {
        const wrap::AppendedPlacement placement = wrap::placeAppended(image, 0x200, c.length);
        EXPECT_EQ(placement.offset, 0x1e00u) << c.length;
        EXPECT_EQ(placement.fileSize, c.fileSize) << c.length;
        EXPECT_EQ(wrap::appendedSizeProblem(placement), c.problem) << c.length;
    }
    // Known from the payload's size alone, with the other problems of the inputs.
    EXPECT_EQ(wrap::payloadSizeProblem(wrap::largestAppended), "");
    EXPECT_EQ(
        wrap::payloadSizeProblem(wrap::largestAppended + 1),
        "the payload of 4095 MiB (4293918721 bytes) is too large: a bootstrapper may take at most 4 GiB "
        "less 1 MiB (4293918720 bytes), so that a signature still fits below 4 GiB, and it holds the "
        "payload and more");
}

}  // namespace
