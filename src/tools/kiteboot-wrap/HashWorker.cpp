#include "HashWorker.h"

#include <optional>

#include "BackgroundTask.h"

#ifdef _WIN32
#include "../../common/windows/WinHeaders.h"
#else
#include <condition_variable>
#include <mutex>
#endif

namespace wrap {

namespace {

// A lock and a condition to wait for under it: the system's slim ones on Windows (the Win32 thread model has
// no std::mutex in this compiler), the standard library's elsewhere.
#ifdef _WIN32
class Monitor {
public:
    class Held {
    public:
        explicit Held(Monitor& monitor) : monitor_(monitor) { AcquireSRWLockExclusive(&monitor_.lock_); }
        ~Held() { ReleaseSRWLockExclusive(&monitor_.lock_); }
        Held(const Held&) = delete;
        Held& operator=(const Held&) = delete;
        void wait() { SleepConditionVariableSRW(&monitor_.changed_, &monitor_.lock_, INFINITE, 0); }

    private:
        Monitor& monitor_;
    };
    void wakeAll() { WakeAllConditionVariable(&changed_); }

private:
    SRWLOCK lock_ = SRWLOCK_INIT;
    CONDITION_VARIABLE changed_ = CONDITION_VARIABLE_INIT;
};
#else
class Monitor {
public:
    class Held {
    public:
        explicit Held(Monitor& monitor) : monitor_(monitor), held_(monitor.lock_) {}
        void wait() { monitor_.changed_.wait(held_); }

    private:
        Monitor& monitor_;
        std::unique_lock<std::mutex> held_;
    };
    void wakeAll() { changed_.notify_all(); }

private:
    std::mutex lock_;
    std::condition_variable changed_;
};
#endif

struct Piece {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
};

}  // namespace

// The queue of pieces handed and not yet hashed; each side is woken only when it waits.
struct HashWorker::Shared {
    Sha256 sha256;
    Piece queue[depth];
    std::uint64_t handed = 0;  // these and the flags change under monitor
    std::uint64_t hashed = 0;
    bool allHanded = false;
    bool callerWaits = false;
    bool workerWaits = false;
    Monitor monitor;
    std::optional<BackgroundTask> thread;

    // The thread: hashes each piece in order until every piece handed is hashed and no more will come.
    void run() {
        for (Piece piece = nextToHash(); piece.data; piece = nextToHash()) {
            sha256.add(piece.data, piece.size);
            bool wakeCaller = false;
            {
                Monitor::Held held(monitor);
                ++hashed;
                wakeCaller = callerWaits;
            }
            if (wakeCaller) monitor.wakeAll();
        }
    }
    Piece nextToHash() {
        Monitor::Held held(monitor);
        while (hashed == handed && !allHanded) {
            workerWaits = true;
            held.wait();
        }
        workerWaits = false;
        return hashed == handed ? Piece{} : queue[hashed % depth];
    }
    void hand(const std::uint8_t* data, std::size_t size) {
        bool wakeWorker = false;
        {
            Monitor::Held held(monitor);
            while (handed - hashed == depth) {
                callerWaits = true;
                held.wait();
            }
            callerWaits = false;
            queue[handed % depth] = {data, size};
            ++handed;
            wakeWorker = workerWaits;
        }
        if (wakeWorker) monitor.wakeAll();
    }
    // Lets the thread end once it has hashed every piece, and waits for it.
    void end() noexcept {
        if (!thread) return;
        {
            Monitor::Held held(monitor);
            allHanded = true;
        }
        monitor.wakeAll();
        thread.reset();
    }
};

HashWorker::HashWorker() : shared_(std::make_unique<Shared>()) {
    Shared& shared = *shared_;
    shared.thread.emplace([&shared] { shared.run(); });
}

HashWorker::~HashWorker() {
    shared_->end();
}

void HashWorker::add(const std::uint8_t* data, std::size_t size) {
    if (size > 0) shared_->hand(data, size);
}

Sha256::Digest HashWorker::finish() {
    shared_->end();
    return shared_->sha256.finish();
}

}  // namespace wrap
