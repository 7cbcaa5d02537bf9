// SHA-256 on a thread of its own, so that hashing a copy runs beside its reads and writes instead of
// adding its time to theirs. The thread owns a ring of pieces: the caller fills the next free piece, hands
// it, and goes on to the next while the thread hashes the ones handed, in order. The caller waits only when
// every piece is still being hashed, and the two sides meet through a slim lock and a condition variable,
// which wait in the process without a call to the system while the other side keeps up. The thread only
// hashes and logs nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "common/share/hashing/Sha256.h"
#include "common/windows/WinAutoHandle.h"

class HashingThread {
public:
    // The size the resource form is written in: pieces of 1 MiB made each write cost several times more in
    // the system's copy under Wine (bench/appended.sh).
    static constexpr std::size_t kPieceSize = 256 * 1024;
    static constexpr std::size_t kPieceCount = 8;  // memory: 2 MiB of pieces, whatever is hashed

    // Starts the thread. Throws ZorError<SysError> when it cannot be started.
    HashingThread();
    // Lets the thread finish the pieces handed, then waits for it. Never throws.
    ~HashingThread();
    HashingThread(const HashingThread&) = delete;
    HashingThread& operator=(const HashingThread&) = delete;

    // The piece to fill next, kPieceSize bytes; waits while every piece is handed and not yet hashed. It may
    // be read (written out, say) after it is handed, until the next call.
    char* nextPiece();
    // Hands the piece nextPiece() gave, its first size bytes filled (at most kPieceSize).
    void hash(std::size_t size);
    // The digest of every piece handed. Call once, after the last hash().
    Sha256::Digest finish();

private:
    static DWORD WINAPI run(LPVOID self);
    void hashHandedPieces();
    void stop() noexcept;

    std::unique_ptr<char[]> pieces_;
    std::size_t sizes_[kPieceCount] = {};
    std::uint64_t handed_ = 0;  // the counts change under lock_
    std::uint64_t hashed_ = 0;
    bool noMorePieces_ = false;
    SRWLOCK lock_ = SRWLOCK_INIT;
    CONDITION_VARIABLE changed_ = CONDITION_VARIABLE_INIT;
    Sha256 sha256_;
    UniqueHandle thread_;
};
