#include "Interruption.h"

#include <atomic>

#ifdef _WIN32
#include "../../common/windows/WinHeaders.h"
#else
#include <csignal>
#include <unistd.h>
#endif

namespace wrap {

namespace {

// Set and read only while interruptions are deferred or from the handler, so the handler never sees the
// path half changed. The handler only reads the name's characters and removes the file by it.
std::filesystem::path removedName;
std::atomic<bool> removing{false};
static_assert(std::atomic<bool>::is_always_lock_free);

}  // namespace

void removeOnInterruption(const std::filesystem::path& file) {
    removedName = file;
    removing = true;
}

void keepOnInterruption() {
    removing = false;
}

#ifdef _WIN32

namespace {

// Held by the handler's thread, or by the main thread while deferring. A system lock, not std::mutex:
// the programs are built with the Win32 thread model, which has no std::mutex in this compiler.
SRWLOCK handlerLock = SRWLOCK_INIT;

// Runs on a thread of its own. The file was opened with FILE_SHARE_DELETE, so it can be deleted while
// the main thread still writes it; it goes when the process ends, with the exit status of Ctrl+C.
BOOL WINAPI onConsoleEvent(DWORD) {
    AcquireSRWLockExclusive(&handlerLock);
    if (removing) DeleteFileW(removedName.c_str());
    TerminateProcess(GetCurrentProcess(), STATUS_CONTROL_C_EXIT);
    return TRUE;
}

}  // namespace

void catchInterruptions() {
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

InterruptionsDeferred::InterruptionsDeferred() {
    AcquireSRWLockExclusive(&handlerLock);
}

InterruptionsDeferred::~InterruptionsDeferred() {
    ReleaseSRWLockExclusive(&handlerLock);
}

#else

namespace {

constexpr int caught[] = {SIGINT, SIGHUP, SIGTERM};

sigset_t caughtSet() {
    sigset_t set;
    sigemptyset(&set);
    for (int signal : caught)
        sigaddset(&set, signal);
    return set;
}

// Only async-signal-safe calls: unlink, sigaction, raise. The signal stays blocked until the handler
// returns, and then ends the program with its default action.
extern "C" void onSignal(int signal) {
    if (removing) unlink(removedName.c_str());
    struct sigaction original = {};
    original.sa_handler = SIG_DFL;
    sigaction(signal, &original, nullptr);
    raise(signal);
}

sigset_t deferredMask;

}  // namespace

void catchInterruptions() {
    struct sigaction handler = {};
    handler.sa_handler = onSignal;
    handler.sa_mask = caughtSet();  // one handler at a time
    for (int signal : caught) {
        struct sigaction previous = {};
        if (sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler != SIG_IGN)
            sigaction(signal, &handler, nullptr);
    }
}

InterruptionsDeferred::InterruptionsDeferred() {
    const sigset_t set = caughtSet();
    sigprocmask(SIG_BLOCK, &set, &deferredMask);
}

InterruptionsDeferred::~InterruptionsDeferred() {
    sigprocmask(SIG_SETMASK, &deferredMask, nullptr);
}

#endif

}  // namespace wrap
