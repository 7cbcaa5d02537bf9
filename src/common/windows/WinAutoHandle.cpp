#include "common/windows/WinAutoHandle.h"

#include "common/share/logging/Logger.h"
#include "common/share/tstrings.h"
#include "common/windows/WinErrorHandling.h"

namespace {

// "CloseHandle(<16 hex digits>) failed with system error <code> (<description>)"
std::string closeFailureMessage(HANDLE handle, DWORD code) {
    const std::string call = (MessageBuilder() << "CloseHandle(" << handle << ")").str();
    return tstrings::unsafe_format("%s failed with %s", call.c_str(), formatSystemError(code).c_str());
}

}  // namespace

void closeHANDLE(HANDLE handle) noexcept {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
    if (CloseHandle(handle)) return;
    const DWORD code = GetLastError();
    try {
        LOG_ERROR(closeFailureMessage(handle, code));
    } catch (...) {
        // Only an allocation failure can get here; a failed close is never thrown.
    }
}

void freeLIBRARY(HMODULE module) noexcept {
    if (module) FreeLibrary(module);
}
