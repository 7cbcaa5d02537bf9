// Reads bytes of a file for the caller, piece by piece into a ring, and hashes each piece on a thread of its
// own once the caller has written it and given it back. The caller's reads and writes then go at the speed
// of a file copy while the hash follows behind, up to the ring's size, so a launch costs the slower of the
// two instead of their sum; the bytes the caller writes are the bytes hashed, as a place of the ring is read
// into again only once its piece is hashed. The two sides meet through a slim lock and a condition variable,
// which wait in the process without a call to the system, and each side is woken only when it waits, once a
// quarter of the ring is there for it. The thread makes no call to the system but those waits, and logs
// nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "common/share/hashing/Sha256.h"
#include "common/windows/WinAutoHandle.h"

class HashingReader {
public:
    // The size the resource form is written in: pieces of 1 MiB made each write cost several times more in
    // the system's copy under Wine (bench/appended.sh).
    static constexpr std::size_t kPieceSize = 256 * 1024;
    static constexpr std::size_t kPieceCount = 16;  // memory: 4 MiB of pieces, whatever the file's size

    struct Piece {
        const char* data = nullptr;  // null: no more pieces (see error())
        std::size_t size = 0;
    };

    // Reads length bytes of file from its current position; nothing else reads the file until the reader
    // is gone. Throws ZorError<SysError> when the hashing thread cannot be started.
    HashingReader(HANDLE file, std::uint64_t length);
    // Stops the thread after the piece it hashes and waits for it. Never throws.
    ~HashingReader();
    HashingReader(const HashingReader&) = delete;
    HashingReader& operator=(const HashingReader&) = delete;

    // The next piece, read on the caller's thread. Give it back with release() before asking again.
    Piece next();
    void release();
    // Once next() gave no piece: ERROR_SUCCESS when every byte was read, the failed read's error, or
    // ERROR_HANDLE_EOF when the file ended first.
    DWORD error() const { return error_; }
    // The SHA-256 of every byte read, once its last pieces are hashed. Once next() gave no piece.
    Sha256::Digest digest();

private:
    static DWORD WINAPI run(LPVOID self);
    void hashAll();
    bool waitForPieceToHash();
    void pieceHashed();
    void waitForFreePlace();
    void stop() noexcept;

    HANDLE file_;
    std::uint64_t left_;
    std::unique_ptr<char[]> pieces_;
    std::size_t sizes_[kPieceCount] = {};
    DWORD error_ = ERROR_SUCCESS;
    std::uint64_t given_ = 0;   // pieces given back; these and the flags change under lock_
    std::uint64_t hashed_ = 0;  // pieces hashed
    bool allGiven_ = false;
    bool stopping_ = false;
    bool hasherWaits_ = false;
    bool callerWaits_ = false;
    mutable SRWLOCK lock_ = SRWLOCK_INIT;
    CONDITION_VARIABLE changed_ = CONDITION_VARIABLE_INIT;
    Sha256 sha256_;
    UniqueHandle thread_;
};
