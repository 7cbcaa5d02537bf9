// A piece of work run on a thread of its own while the caller goes on, such as flushing the output to the
// disk while it is read back and checked. A system thread on Windows (the programs are built with the Win32
// thread model, which has no std::thread in this compiler), std::thread elsewhere.
#pragma once

#include <functional>
#include <memory>

namespace wrap {

class BackgroundTask {
public:
    // Starts work on its thread. Throws WrapError when the thread cannot be started.
    explicit BackgroundTask(std::function<void()> work);
    // Waits for the work to end. Never throws: what the work threw is dropped unless wait() was called.
    ~BackgroundTask();
    BackgroundTask(const BackgroundTask&) = delete;
    BackgroundTask& operator=(const BackgroundTask&) = delete;

    // Waits for the work to end and throws what it threw. Call once.
    void wait();

    struct Thread;  // the work, what it threw and the system's thread; defined in the source file

private:
    std::unique_ptr<Thread> thread_;
};

}  // namespace wrap
