#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "windows/common/HashingThread.h"

// The thread's digest is that of the pieces in the order handed, whatever their count: none, fewer than
// the ring holds, and laps of the ring with a short last piece. Every piece differs, so a piece handed out
// again before the thread had hashed it would change the digest.
TEST(HashingThread, HashesThePiecesInTheOrderHanded) {
    constexpr std::size_t kRing = HashingThread::kPieceSize * HashingThread::kPieceCount;
    for (const std::size_t total : {std::size_t{0}, std::size_t{1000}, 3 * kRing + 12345}) {
        std::string bytes(total, '\0');
        for (std::size_t i = 0; i < total; ++i)
            bytes[i] = static_cast<char>(i * 131 + (i >> 12));
        HashingThread hashing;
        for (std::size_t at = 0; at < total;) {
            const std::size_t size = std::min(HashingThread::kPieceSize, total - at);
            std::memcpy(hashing.nextPiece(), bytes.data() + at, size);
            hashing.hash(size);
            at += size;
        }
        Sha256 whole;
        whole.add(bytes.data(), bytes.size());
        EXPECT_EQ(Sha256::hex(hashing.finish()), Sha256::hex(whole.finish())) << total << " bytes";
    }
}
