// Scoped ownership of Windows handles: closed exactly once, on every road out, never throwing. Every closer
// returns the Windows error code of the close (ERROR_SUCCESS when it closed or had nothing to close).
#pragma once

#include <utility>

#include "common/windows/WinHeaders.h"

// Closes a kernel object handle. Null and INVALID_HANDLE_VALUE are skipped; a failed CloseHandle is
// logged at ERROR, and its error returned. Never throws.
DWORD closeHANDLE(HANDLE handle) noexcept;

// Releases a module reference taken by LoadLibrary or GetModuleHandleEx; null is skipped. Never throws.
DWORD freeLIBRARY(HMODULE module) noexcept;

// The error of a release that reported success or failure: ERROR_SUCCESS, or the thread's last error.
inline DWORD releaseError(bool released) noexcept {
    return released ? ERROR_SUCCESS : GetLastError();
}

// Owns one handle of type Handle, released by Close. Move-only: moving transfers ownership.
// Releasing keeps the thread's last error, so clean-up on the way out cannot change the code a caller
// is about to report.
template <class Handle, DWORD (*Close)(Handle) noexcept>
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

    // Closes the handle if this holder owns it and returns the close's error; the flag is cleared first, so a
    // second reset does nothing (and returns ERROR_SUCCESS).
    DWORD reset() noexcept {
        if (!std::exchange(owned_, false)) return ERROR_SUCCESS;
        const DWORD lastError = GetLastError();
        const DWORD error = Close(handle_);
        SetLastError(lastError);
        return error;
    }

    // Takes ownership of handle, then closes the previous one if it was owned; returns that close's error.
    DWORD reset(Handle handle) noexcept {
        ScopedHandle previous(std::move(*this));
        handle_ = handle;
        owned_ = true;
        return previous.reset();
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
inline DWORD closeFINDHANDLE(HANDLE search) noexcept {
    if (search == nullptr || search == INVALID_HANDLE_VALUE) return ERROR_SUCCESS;
    return releaseError(FindClose(search));
}

using UniqueFindHandle = ScopedHandle<HANDLE, closeFINDHANDLE>;

// Unmaps a view made by MapViewOfFile. Null is skipped. Never throws.
inline DWORD unmapVIEW(void* view) noexcept {
    return view ? releaseError(UnmapViewOfFile(view)) : ERROR_SUCCESS;
}

using UniqueMappedView = ScopedHandle<void*, unmapVIEW>;
