// Scoped ownership of Windows handles: closed exactly once, on every road out, never throwing.
#pragma once

#include <utility>

#include "common/windows/WinHeaders.h"

// Closes a kernel object handle. Null and INVALID_HANDLE_VALUE are skipped; a failed CloseHandle is
// logged at ERROR and otherwise ignored. Never throws.
void closeHANDLE(HANDLE handle) noexcept;

// Releases a module reference taken by LoadLibrary or GetModuleHandleEx; null is skipped. Never throws.
void freeLIBRARY(HMODULE module) noexcept;

// Owns one handle of type Handle, released by Close. Move-only: moving transfers ownership.
// Releasing keeps the thread's last error, so clean-up on the way out cannot change the code a caller
// is about to report.
template <class Handle, void (*Close)(Handle) noexcept>
class ScopedHandle {
public:
    ScopedHandle() = default;
    explicit ScopedHandle(Handle handle) : handle_(handle), owned_(true) {}
    ScopedHandle(ScopedHandle&& other) noexcept
        : handle_(other.handle_), owned_(std::exchange(other.owned_, false)) {}
    ScopedHandle& operator=(ScopedHandle&& other) noexcept {
        if (this != &other) {
            reset();
            handle_ = other.handle_;
            owned_ = std::exchange(other.owned_, false);
        }
        return *this;
    }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;
    ~ScopedHandle() { reset(); }

    Handle get() const { return handle_; }
    bool owned() const { return owned_; }

    // Closes the handle if this holder owns it; the flag is cleared first, so a second reset does nothing.
    void reset() noexcept {
        if (!std::exchange(owned_, false)) return;
        const DWORD lastError = GetLastError();
        Close(handle_);
        SetLastError(lastError);
    }

    // Takes ownership of handle, then closes the previous one if it was owned.
    void reset(Handle handle) noexcept {
        ScopedHandle previous(std::move(*this));
        handle_ = handle;
        owned_ = true;
    }

    // Gives up ownership without closing; the caller now owns the handle.
    [[nodiscard]] Handle release() noexcept {
        owned_ = false;
        return handle_;
    }

private:
    Handle handle_ = nullptr;
    bool owned_ = false;
};

using UniqueHandle = ScopedHandle<HANDLE, closeHANDLE>;
using UniqueModule = ScopedHandle<HMODULE, freeLIBRARY>;

// Ends a directory search started by FindFirstFile. Null and INVALID_HANDLE_VALUE are skipped. Never throws.
inline void closeFINDHANDLE(HANDLE search) noexcept {
    if (search != nullptr && search != INVALID_HANDLE_VALUE) FindClose(search);
}

using UniqueFindHandle = ScopedHandle<HANDLE, closeFINDHANDLE>;

// Unmaps a view made by MapViewOfFile. Null is skipped. Never throws.
inline void unmapVIEW(void* view) noexcept {
    if (view) UnmapViewOfFile(view);
}

using UniqueMappedView = ScopedHandle<void*, unmapVIEW>;
