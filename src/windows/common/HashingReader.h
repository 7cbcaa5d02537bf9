// Reads bytes of a file on a thread of its own and hashes each piece as it is read, into a ring of pieces
// the caller writes out in order. While the caller's writes wait for the disk, the thread goes on reading
// and hashing, up to the ring's size, so the hash runs beside the copy instead of adding its time to it; the
// bytes the caller writes are the bytes hashed. The two sides meet through a slim lock and a condition
// variable, which wait in the process without a call to the system, and each side is woken only when it
// waits, once a quarter of the ring is there for it. The thread makes no call but its reads and logs
// nothing; a failed read ends it with the system's error code, which the caller reports.
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
    static constexpr std::size_t kPieceCount = 32;  // memory: 8 MiB of pieces, whatever the file's size

    struct Piece {
        const char* data = nullptr;  // null: no more pieces (see error())
        std::size_t size = 0;
    };

    // Starts reading length bytes of file from its current position; nothing else reads the file until
    // the reader is gone. Throws ZorError<SysError> when the thread cannot be started.
    HashingReader(HANDLE file, std::uint64_t length);
    // Stops the thread after the read under way and waits for it. Never throws.
    ~HashingReader();
    HashingReader(const HashingReader&) = delete;
    HashingReader& operator=(const HashingReader&) = delete;

    // The next piece, read and hashed, waiting for it. Give it back with release() before asking again.
    Piece next();
    void release();
    // Once next() gave no piece: ERROR_SUCCESS when every byte was read, the failed read's error, or
    // ERROR_HANDLE_EOF when the file ended first.
    DWORD error() const;
    // The SHA-256 of every byte read. Once next() gave no piece.
    Sha256::Digest digest();

private:
    static DWORD WINAPI run(LPVOID self);
    DWORD readAll();
    bool waitForFreePiece();
    void handOn(std::size_t size);
    void stop() noexcept;

    HANDLE file_;
    std::uint64_t length_;
    std::unique_ptr<char[]> pieces_;
    std::size_t sizes_[kPieceCount] = {};
    std::uint64_t read_ = 0;   // pieces read and hashed; these and the flags change under lock_
    std::uint64_t given_ = 0;  // pieces given back
    bool finished_ = false;
    bool stopping_ = false;
    bool readerWaits_ = false;
    bool writerWaits_ = false;
    DWORD error_ = ERROR_SUCCESS;
    mutable SRWLOCK lock_ = SRWLOCK_INIT;
    CONDITION_VARIABLE changed_ = CONDITION_VARIABLE_INIT;
    Sha256 sha256_;
    UniqueHandle thread_;
};
