// The layout of a bootstrapper: the sections after the resources move up; at most 2 GiB.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

#include "ImagePlan.h"
#include "StubModel.h"

namespace {

TEST(ImagePlan, SectionsMoveUpAndTheImageIsRoundedAndRefusedAbove2GiB) {
    const struct {
        std::uint64_t resources;
        std::uint32_t relocAddress, relocPointer, sizeOfImage;
        std::uint64_t fileSize;
    } cases[] = {
        {0x300, 0x4000, 0x1c00, 0x5000, 0x1e00},
        {0x2001, 0x6000, 0x3a00, 0x7000, 0x3c00},                      // SizeOfImage rounded up from 0x6050
        {0x7fffc000, 0x7ffff000, 0x7fffd800, 0x80000000, 0x7fffda00},  // 2 GiB exactly
    };
    for (const auto& c : cases) {
        const wrap::ImagePlan plan = wrap::planImage(wrap_test::threeSectionStub(), c.resources);
        EXPECT_EQ(plan.sections[1].virtualSize, c.resources);
        EXPECT_EQ(plan.sections[2].virtualAddress, c.relocAddress) << c.resources;
        EXPECT_EQ(plan.sections[2].rawPointer, c.relocPointer) << c.resources;
        EXPECT_EQ(plan.imageSize, c.sizeOfImage) << c.resources;
        EXPECT_EQ(plan.fileSize, c.fileSize) << c.resources;
        EXPECT_TRUE(wrap::fitsLargestImage(plan)) << c.resources;
    }
    // One byte more than the largest that fits, and a resource section beyond 32-bit fields.
    for (std::uint64_t resources : {std::uint64_t{0x7fffc001}, std::uint64_t{5} << 30}) {
        const wrap::ImagePlan plan = wrap::planImage(wrap_test::threeSectionStub(), resources);
        EXPECT_FALSE(wrap::fitsLargestImage(plan)) << resources;
        EXPECT_GT(std::max(plan.imageSize, plan.fileSize), wrap::largestImage) << resources;
    }
}

}  // namespace
