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

}  // namespace

HashingReader::HashingReader(HANDLE file, std::uint64_t length)
    : file_(file), length_(length), pieces_(new char[kPieceCount * kPieceSize]) {
    thread_ = UniqueHandle(CreateThread(nullptr, 0, &HashingReader::run, this, 0, nullptr));
    if (!thread_.get()) ZOR_THROW_LAST_ERROR(CreateThread, "CreateThread failed");
}

HashingReader::~HashingReader() {
    stop();
}

DWORD WINAPI HashingReader::run(LPVOID self) {
    auto& reader = *static_cast<HashingReader*>(self);
    const DWORD error = reader.readAll();
    {
        ExclusiveLock held(reader.lock_);
        reader.error_ = error;
        reader.finished_ = true;
    }
    WakeAllConditionVariable(&reader.changed_);
    return 0;
}

// The thread: each piece read into the next free place of the ring, hashed, then handed on.
DWORD HashingReader::readAll() {
    for (std::uint64_t done = 0; done < length_;) {
        if (!waitForFreePiece()) return ERROR_SUCCESS;
        char* piece = pieces_.get() + (read_ % kPieceCount) * kPieceSize;
        const auto wanted = static_cast<DWORD>(std::min<std::uint64_t>(length_ - done, kPieceSize));
        DWORD got = 0;
        if (!ReadFile(file_, piece, wanted, &got, nullptr)) return GetLastError();
        if (got != wanted) return ERROR_HANDLE_EOF;
        sha256_.add(piece, got);
        handOn(got);
        done += got;
    }
    return ERROR_SUCCESS;
}

// False when the reader is to stop.
bool HashingReader::waitForFreePiece() {
    ExclusiveLock held(lock_);
    while (read_ - given_ == kPieceCount && !stopping_) {
        readerWaits_ = true;
        SleepConditionVariableSRW(&changed_, &lock_, INFINITE, 0);
    }
    readerWaits_ = false;
    return !stopping_;
}

void HashingReader::handOn(std::size_t size) {
    bool wakeWriter = false;
    {
        ExclusiveLock held(lock_);
        sizes_[read_ % kPieceCount] = size;
        ++read_;
        wakeWriter = writerWaits_ && read_ - given_ >= kPieceCount / 4;
    }
    if (wakeWriter) WakeAllConditionVariable(&changed_);
}

HashingReader::Piece HashingReader::next() {
    ExclusiveLock held(lock_);
    while (given_ == read_ && !finished_) {
        writerWaits_ = true;
        SleepConditionVariableSRW(&changed_, &lock_, INFINITE, 0);
    }
    writerWaits_ = false;
    if (given_ == read_) return {};
    const std::size_t slot = given_ % kPieceCount;
    return {pieces_.get() + slot * kPieceSize, sizes_[slot]};
}

void HashingReader::release() {
    bool wakeReader = false;
    {
        ExclusiveLock held(lock_);
        ++given_;
        wakeReader = readerWaits_ && kPieceCount - (read_ - given_) >= kPieceCount / 4;
    }
    if (wakeReader) WakeAllConditionVariable(&changed_);
}

DWORD HashingReader::error() const {
    ExclusiveLock held(lock_);
    return error_;
}

Sha256::Digest HashingReader::digest() {
    stop();
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
