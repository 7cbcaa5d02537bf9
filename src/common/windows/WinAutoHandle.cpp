#include "common/windows/WinAutoHandle.h"

#include <exception>

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

DWORD closeHANDLE(HANDLE handle) noexcept {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return ERROR_SUCCESS;
    if (CloseHandle(handle)) return ERROR_SUCCESS;
    const DWORD code = GetLastError();
    try {
        LOG_ERROR(closeFailureMessage(handle, code));
    } catch (const std::exception&) {
        // Only composing the record can throw (memory); the code is returned all the same.
    }
    return code;
}

DWORD freeLIBRARY(HMODULE module) noexcept {
    return module ? releaseError(FreeLibrary(module)) : ERROR_SUCCESS;
}
