#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "HashWorker.h"

namespace {

// Pieces of every size from 1 byte to 4 KiB, handed from depth + 1 buffers in turn, each overwritten as
// soon as its turn comes round again, faster than the worker hashes: the digest is that of the bytes
// handed, so no piece was read after the caller took its buffer back. A worker given up without its digest
// still ends.
TEST(HashWorker, HashesWhatWasHandedWhileTheCallerReusesItsBuffers) {
    constexpr std::size_t ring = wrap::HashWorker::depth + 1;
    std::vector<std::vector<std::uint8_t>> buffers(ring, std::vector<std::uint8_t>(4096));
    std::vector<std::uint8_t> handed;
    wrap::HashWorker worker;
    for (std::size_t i = 0; i < 3000; ++i) {
        std::vector<std::uint8_t>& buffer = buffers[i % ring];
        const std::size_t size = 1 + (i * 1237) % buffer.size();
        for (std::size_t j = 0; j < size; ++j)
            buffer[j] = static_cast<std::uint8_t>(i * 31 + j);
        handed.insert(handed.end(), buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(size));
        worker.add(buffer.data(), size);
    }
    Sha256 reference;
    reference.add(handed.data(), handed.size());
    EXPECT_EQ(Sha256::hex(worker.finish()), Sha256::hex(reference.finish()));

    wrap::HashWorker givenUp;
    givenUp.add(buffers[0].data(), 100);
}

}  // namespace
