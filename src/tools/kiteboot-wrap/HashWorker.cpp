#include "HashWorker.h"

#include "WrapError.h"

#ifdef _WIN32
#include "../../common/windows/WinHeaders.h"
#else
#include <condition_variable>
#include <mutex>
#include <thread>
#endif

namespace wrap {

// One piece at a time: the caller hands it (full), the thread hashes it and says so (empty).
struct HashWorker::Shared {
    Sha256 sha256;
    const std::uint8_t* data = nullptr;  // null with full set: stop
    std::size_t size = 0;
    bool full = false;
    bool stopped = false;
#ifdef _WIN32
    HANDLE handed = nullptr;  // auto-reset: a piece (or the stop) was handed
    HANDLE hashed = nullptr;  // auto-reset: the piece was hashed
    HANDLE thread = nullptr;
#else
    std::mutex lock;
    std::condition_variable changed;
    std::thread thread;
#endif

    // The thread: hashes each piece handed until it is told to stop.
    void run() {
        while (true) {
            waitUntil(true);
            if (!data) return;
            sha256.add(data, size);
            signal(false);
        }
    }
#ifdef _WIN32
    void waitUntil(bool wantFull) {
        WaitForSingleObject(wantFull ? handed : hashed, INFINITE);
    }
    void signal(bool nowFull) {
        SetEvent(nowFull ? handed : hashed);
    }
#else
    void waitUntil(bool wantFull) {
        std::unique_lock<std::mutex> held(lock);
        changed.wait(held, [&] { return full == wantFull; });
    }
    void signal(bool nowFull) {
        {
            const std::lock_guard<std::mutex> held(lock);
            full = nowFull;
        }
        changed.notify_all();
    }
#endif
    void hand(const std::uint8_t* piece, std::size_t pieceSize) {
        data = piece;
        size = pieceSize;
        signal(true);
    }
};

#ifdef _WIN32

namespace {

DWORD WINAPI runWorker(LPVOID shared) {
    static_cast<HashWorker::Shared*>(shared)->run();
    return 0;
}

}  // namespace

HashWorker::HashWorker() : shared_(std::make_unique<Shared>()) {
    Shared& s = *shared_;
    s.handed = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    s.hashed = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (s.handed && s.hashed) s.thread = CreateThread(nullptr, 0, runWorker, &s, 0, nullptr);
    if (!s.thread) {
        const std::error_code cause(static_cast<int>(GetLastError()), std::system_category());
        if (s.handed) CloseHandle(s.handed);
        if (s.hashed) CloseHandle(s.hashed);
        throw WrapError("cannot start the thread that hashes the payload", cause);
    }
}

HashWorker::~HashWorker() {
    Shared& s = *shared_;
    if (!s.stopped) {
        if (s.full) s.waitUntil(false);
        s.hand(nullptr, 0);
        WaitForSingleObject(s.thread, INFINITE);
    }
    CloseHandle(s.thread);
    CloseHandle(s.handed);
    CloseHandle(s.hashed);
}

#else

HashWorker::HashWorker() : shared_(std::make_unique<Shared>()) {
    try {
        shared_->thread = std::thread([shared = shared_.get()] { shared->run(); });
    } catch (const std::system_error& error) {
        throw WrapError("cannot start the thread that hashes the payload", error.code());
    }
}

HashWorker::~HashWorker() {
    Shared& s = *shared_;
    if (s.stopped) return;
    s.waitUntil(false);
    s.hand(nullptr, 0);
    s.thread.join();
}

#endif

void HashWorker::add(const std::uint8_t* data, std::size_t size) {
    Shared& s = *shared_;
#ifdef _WIN32
    if (s.full) s.waitUntil(false);
    s.full = true;
#else
    s.waitUntil(false);
#endif
    s.hand(data, size);
}

Sha256::Digest HashWorker::finish() {
    Shared& s = *shared_;
#ifdef _WIN32
    if (s.full) s.waitUntil(false);
    s.full = true;
    s.hand(nullptr, 0);
    WaitForSingleObject(s.thread, INFINITE);
#else
    s.waitUntil(false);
    s.hand(nullptr, 0);
    s.thread.join();
#endif
    s.stopped = true;
    return s.sha256.finish();
}

}  // namespace wrap
