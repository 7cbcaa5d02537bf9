#include "windows/common/HashingThread.h"

#include "common/windows/WinErrorHandling.h"

namespace {

UniqueHandle newEvent(bool signaled) {
    UniqueHandle event(CreateEventW(nullptr, FALSE, signaled ? TRUE : FALSE, nullptr));
    if (!event.get()) ZOR_THROW_LAST_ERROR(CreateEventW, "CreateEvent failed");
    return event;
}

}  // namespace

HashingThread::HashingThread()
    : ready_{newEvent(false), newEvent(false)}, done_{newEvent(true), newEvent(true)} {
    thread_ = UniqueHandle(CreateThread(nullptr, 0, &HashingThread::run, this, 0, nullptr));
    if (!thread_.get()) ZOR_THROW_LAST_ERROR(CreateThread, "CreateThread failed");
}

HashingThread::~HashingThread() {
    stop();
}

DWORD WINAPI HashingThread::run(LPVOID self) {
    auto& hashing = *static_cast<HashingThread*>(self);
    for (int slot = 0;; slot ^= 1) {
        WaitForSingleObject(hashing.ready_[slot].get(), INFINITE);
        const Piece piece = hashing.pieces_[slot];
        if (!piece.data) return 0;
        hashing.sha256_.add(piece.data, piece.size);
        SetEvent(hashing.done_[slot].get());
    }
}

void HashingThread::waitForSlot(int slot) {
    WaitForSingleObject(done_[slot].get(), INFINITE);
    pending_[slot] = false;
}

void HashingThread::hash(int slot, const void* data, std::size_t size) {
    pieces_[slot] = {data, size};
    pending_[slot] = true;
    next_ = slot ^ 1;
    SetEvent(ready_[slot].get());
}

void HashingThread::stop() noexcept {
    if (!thread_.owned()) return;
    for (int slot = 0; slot < 2; ++slot)
        if (pending_[slot]) waitForSlot(slot);
    pieces_[next_] = {};
    SetEvent(ready_[next_].get());
    WaitForSingleObject(thread_.get(), INFINITE);
    thread_.reset();
}

Sha256::Digest HashingThread::finish() {
    stop();
    return sha256_.finish();
}
