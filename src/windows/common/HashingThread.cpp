#include "windows/common/HashingThread.h"

#include "common/windows/WinErrorHandling.h"

namespace {

// The lock held for a scope.
class ExclusiveLock {
public:
    explicit ExclusiveLock(SRWLOCK& lock) : lock_(lock) { AcquireSRWLockExclusive(&lock_); }
    ~ExclusiveLock() { ReleaseSRWLockExclusive(&lock_); }
    ExclusiveLock(const ExclusiveLock&) = delete;
    ExclusiveLock& operator=(const ExclusiveLock&) = delete;

private:
    SRWLOCK& lock_;
};

}  // namespace

HashingThread::HashingThread() : pieces_(new char[kPieceCount * kPieceSize]) {
    thread_ = UniqueHandle(CreateThread(nullptr, 0, &HashingThread::run, this, 0, nullptr));
    if (!thread_.get()) ZOR_THROW_LAST_ERROR(CreateThread, "CreateThread failed");
}

HashingThread::~HashingThread() {
    stop();
}

DWORD WINAPI HashingThread::run(LPVOID self) {
    static_cast<HashingThread*>(self)->hashHandedPieces();
    return 0;
}

// The thread: hashes each piece once it is handed, outside the lock, until no more come.
void HashingThread::hashHandedPieces() {
    for (;;) {
        std::uint64_t piece = 0;
        {
            ExclusiveLock held(lock_);
            while (hashed_ == handed_ && !noMorePieces_)
                SleepConditionVariableSRW(&changed_, &lock_, INFINITE, 0);
            if (hashed_ == handed_) return;
            piece = hashed_;
        }
        const std::size_t slot = piece % kPieceCount;
        sha256_.add(pieces_.get() + slot * kPieceSize, sizes_[slot]);
        {
            ExclusiveLock held(lock_);
            ++hashed_;
        }
        WakeAllConditionVariable(&changed_);
    }
}

char* HashingThread::nextPiece() {
    ExclusiveLock held(lock_);
    while (handed_ - hashed_ == kPieceCount)
        SleepConditionVariableSRW(&changed_, &lock_, INFINITE, 0);
    return pieces_.get() + (handed_ % kPieceCount) * kPieceSize;
}

void HashingThread::hash(std::size_t size) {
    {
        ExclusiveLock held(lock_);
        sizes_[handed_ % kPieceCount] = size;
        ++handed_;
    }
    WakeAllConditionVariable(&changed_);
}

void HashingThread::stop() noexcept {
    if (!thread_.owned()) return;
    {
        ExclusiveLock held(lock_);
        noMorePieces_ = true;
    }
    WakeAllConditionVariable(&changed_);
    WaitForSingleObject(thread_.get(), INFINITE);
    thread_.reset();
}

Sha256::Digest HashingThread::finish() {
    stop();
    return sha256_.finish();
}
