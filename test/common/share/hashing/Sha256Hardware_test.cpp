// The blocks of the processor's SHA extensions against the portable ones.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "common/share/hashing/Sha256.h"
#include "common/share/hashing/Sha256Hardware.h"

namespace {

TEST(Sha256, HardwareBlocksEqualThePortableOnes) {
    if (!sha256HardwareAvailable()) GTEST_SKIP() << "this processor has no SHA extensions";
    std::mt19937 random(11);
    std::vector<std::uint8_t> data(64 * 97);
    for (auto& byte : data)
        byte = static_cast<std::uint8_t>(random());
    for (std::size_t blocks : {1u, 2u, 97u}) {
        std::uint32_t portable[8] = {1, 2, 3, 4, 5, 6, 7, 0xffffffff};
        std::uint32_t hardware[8] = {1, 2, 3, 4, 5, 6, 7, 0xffffffff};
        sha256PortableBlocks(portable, data.data(), blocks);
        sha256HardwareBlocks(hardware, data.data(), blocks);
        EXPECT_EQ(std::vector<std::uint32_t>(portable, portable + 8),
                  std::vector<std::uint32_t>(hardware, hardware + 8))
            << blocks;
    }
}

}  // namespace
