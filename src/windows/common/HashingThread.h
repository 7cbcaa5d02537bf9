// SHA-256 on a thread of its own, so that hashing a copy runs beside its reads and writes instead of
// adding its time to theirs: the caller hands pieces in two alternating slots, keeps each piece unchanged
// until the thread is done with its slot, and takes the digest at the end. The thread only hashes; it
// makes no system call but the waits and signals of its two slots, and logs nothing.
#pragma once

#include <cstddef>

#include "common/share/hashing/Sha256.h"
#include "common/windows/WinAutoHandle.h"

class HashingThread {
public:
    // Starts the thread. Throws ZorError<SysError> when it or its events cannot be made.
    HashingThread();
    // Waits for the pieces handed and not yet hashed, stops the thread and waits for it. Never throws.
    ~HashingThread();
    HashingThread(const HashingThread&) = delete;
    HashingThread& operator=(const HashingThread&) = delete;

    // Waits until the thread is done with slot (0 or 1), so the buffer last handed in it may be reused.
    void waitForSlot(int slot);
    // Hands size bytes at data in slot, after waitForSlot(slot); they are hashed after every piece handed
    // before, so slots must alternate: 0, 1, 0, ...
    void hash(int slot, const void* data, std::size_t size);
    // The digest of every piece handed. Call once, after the last hash().
    Sha256::Digest finish();

private:
    struct Piece {
        const void* data = nullptr;  // null: stop
        std::size_t size = 0;
    };
    static DWORD WINAPI run(LPVOID self);
    void stop() noexcept;

    Sha256 sha256_;
    Piece pieces_[2];
    bool pending_[2] = {false, false};
    int next_ = 0;  // the slot the thread takes next
    UniqueHandle ready_[2];
    UniqueHandle done_[2];
    UniqueHandle thread_;
};
