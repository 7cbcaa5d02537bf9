// SHA-256 on a thread of its own, so that kiteboot-wrap hashes the payload while it writes it instead of
// before or after: the caller hands one piece after another and keeps each unchanged until it hands the
// next (or asks for the digest). A system thread on Windows (the programs are built with the Win32 thread
// model, which has no std::thread in this compiler), std::thread elsewhere.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "common/share/hashing/Sha256.h"

namespace wrap {

class HashWorker {
public:
    // Starts the thread. Throws WrapError when it cannot be started.
    HashWorker();
    // Waits for the piece being hashed, stops the thread and waits for it. Never throws.
    ~HashWorker();
    HashWorker(const HashWorker&) = delete;
    HashWorker& operator=(const HashWorker&) = delete;

    // Waits until the piece handed before is hashed, then hands this one.
    void add(const std::uint8_t* data, std::size_t size);
    // The digest of every piece handed. Call once.
    Sha256::Digest finish();

    struct Shared;  // what the two threads share; defined with them in the source file

private:
    std::unique_ptr<Shared> shared_;
};

}  // namespace wrap
