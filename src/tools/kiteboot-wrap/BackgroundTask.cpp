#include "BackgroundTask.h"

#include <exception>

#include "WrapError.h"

#ifdef _WIN32
#include "../../common/windows/WinHeaders.h"
#else
#include <thread>
#endif

namespace wrap {

struct BackgroundTask::Thread {
    std::function<void()> work;
    std::exception_ptr failure;  // what the work threw, kept for wait() instead of ending the program
#ifdef _WIN32
    HANDLE handle = nullptr;
    void join() {
        WaitForSingleObject(handle, INFINITE);
        CloseHandle(handle);
    }
#else
    std::thread thread;
    void join() {
        thread.join();
    }
#endif

    void run() noexcept {
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
    }
};

#ifdef _WIN32

namespace {

DWORD WINAPI runTask(LPVOID thread) {
    static_cast<BackgroundTask::Thread*>(thread)->run();
    return 0;
}

}  // namespace

BackgroundTask::BackgroundTask(std::function<void()> work) : thread_(new Thread{std::move(work), {}}) {
    thread_->handle = CreateThread(nullptr, 0, runTask, thread_.get(), 0, nullptr);
    if (!thread_->handle) {
        const std::error_code cause(static_cast<int>(GetLastError()), std::system_category());
        thread_.reset();
        throw WrapError("cannot start a thread", cause);
    }
}

#else

BackgroundTask::BackgroundTask(std::function<void()> work) : thread_(new Thread{std::move(work), {}, {}}) {
    try {
        thread_->thread = std::thread([thread = thread_.get()] { thread->run(); });
    } catch (const std::system_error& error) {
        thread_.reset();
        throw WrapError("cannot start a thread", error.code());
    }
}

#endif

BackgroundTask::~BackgroundTask() {
    if (thread_) thread_->join();
}

void BackgroundTask::wait() {
    thread_->join();
    const std::exception_ptr failure = thread_->failure;
    thread_.reset();
    if (failure) std::rethrow_exception(failure);
}

}  // namespace wrap
