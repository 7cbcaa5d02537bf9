// SHA-256 on a thread of its own, so that kiteboot-wrap hashes the payload while it writes it instead of
// before or after: the caller hands one piece after another and keeps each unchanged until it is hashed,
// which is sure once `depth` more pieces were handed (or the digest asked). The pieces queue up to that
// depth, so the two threads wait for each other only when one is a queue's length ahead, not at every piece.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "common/share/hashing/Sha256.h"

namespace wrap {

class HashWorker {
public:
    // How many pieces may wait to be hashed: a caller that reads into depth + 1 buffers in turn never reads
    // into one still waiting.
    static constexpr std::size_t depth = 4;

    // Starts the thread. Throws WrapError when it cannot be started.
    HashWorker();
    // Hashes the pieces handed, stops the thread and waits for it. Never throws.
    ~HashWorker();
    HashWorker(const HashWorker&) = delete;
    HashWorker& operator=(const HashWorker&) = delete;

    // Hands this piece, first waiting while `depth` pieces wait to be hashed.
    void add(const std::uint8_t* data, std::size_t size);
    // The digest of every piece handed. Call once.
    Sha256::Digest finish();

    struct Shared;  // what the two threads share; defined with them in the source file

private:
    std::unique_ptr<Shared> shared_;
};

}  // namespace wrap
