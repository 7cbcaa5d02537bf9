#include "windows/common/HashingReader.h"

#include <algorithm>

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

constexpr std::uint64_t kQuarterRing = HashingReader::kPieceCount / 4;

}  // namespace

HashingReader::HashingReader(HANDLE file, std::uint64_t length)
    : file_(file), left_(length), pieces_(new char[kPieceCount * kPieceSize]) {
    thread_ = UniqueHandle(CreateThread(nullptr, 0, &HashingReader::run, this, 0, nullptr));
    if (!thread_.get()) ZOR_THROW_LAST_ERROR(CreateThread, "CreateThread failed");
}

HashingReader::~HashingReader() {
    stop();
}

HashingReader::Piece HashingReader::next() {
    if (left_ == 0 || error_ != ERROR_SUCCESS) return {};
    waitForFreePlace();
    const std::size_t place = given_ % kPieceCount;  // only this thread changes given_
    char* piece = pieces_.get() + place * kPieceSize;
    const auto wanted = static_cast<DWORD>(std::min<std::uint64_t>(left_, kPieceSize));
    DWORD got = 0;
    if (!ReadFile(file_, piece, wanted, &got, nullptr)) {
        error_ = GetLastError();
        return {};
    }
    if (got != wanted) {
        error_ = ERROR_HANDLE_EOF;
        return {};
    }
    sizes_[place] = got;
    left_ -= got;
    return {piece, got};
}

// Waits while every place of the ring holds a piece not yet hashed.
void HashingReader::waitForFreePlace() {
    ExclusiveLock held(lock_);
    while (given_ - hashed_ == kPieceCount) {
        callerWaits_ = true;
        SleepConditionVariableSRW(&changed_, &lock_, INFINITE, 0);
    }
    callerWaits_ = false;
}

void HashingReader::release() {
    bool wakeHasher = false;
    {
        ExclusiveLock held(lock_);
        ++given_;
        wakeHasher = hasherWaits_ && given_ - hashed_ >= kQuarterRing;
    }
    if (wakeHasher) WakeAllConditionVariable(&changed_);
}

DWORD WINAPI HashingReader::run(LPVOID self) {
    static_cast<HashingReader*>(self)->hashAll();
    return 0;
}

// The thread: each piece given back hashed in order, until the last or until the reader stops.
void HashingReader::hashAll() {
    while (waitForPieceToHash()) {
        const std::size_t place = hashed_ % kPieceCount;  // only this thread changes hashed_
        sha256_.add(pieces_.get() + place * kPieceSize, sizes_[place]);
        pieceHashed();
    }
}

// False when every piece is hashed or the reader stops.
bool HashingReader::waitForPieceToHash() {
    ExclusiveLock held(lock_);
    while (given_ == hashed_ && !allGiven_ && !stopping_) {
        hasherWaits_ = true;
        SleepConditionVariableSRW(&changed_, &lock_, INFINITE, 0);
    }
    hasherWaits_ = false;
    return given_ != hashed_ && !stopping_;
}

void HashingReader::pieceHashed() {
    bool wakeCaller = false;
    {
        ExclusiveLock held(lock_);
        ++hashed_;
        wakeCaller = callerWaits_ && kPieceCount - (given_ - hashed_) >= kQuarterRing;
    }
    if (wakeCaller) WakeAllConditionVariable(&changed_);
}

Sha256::Digest HashingReader::digest() {
    {
        ExclusiveLock held(lock_);
        allGiven_ = true;
    }
    WakeAllConditionVariable(&changed_);
    WaitForSingleObject(thread_.get(), INFINITE);
    thread_.reset();
    return sha256_.finish();
}

void HashingReader::stop() noexcept {
    if (!thread_.owned()) return;
    {
        ExclusiveLock held(lock_);
        stopping_ = true;
    }
    WakeAllConditionVariable(&changed_);
    WaitForSingleObject(thread_.get(), INFINITE);
    thread_.reset();
}
