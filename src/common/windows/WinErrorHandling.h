// Texts of Windows error codes, and the one way a failed Windows call is raised.
#pragma once

#include <string>

#include "common/share/errors/SysError.h"
#include "common/share/errors/ZorError.h"
#include "common/windows/WinHeaders.h"

// The system's description of code, on one line without a final period: looked up in module's message
// table first when a module is given, then in the system's; "No description available" if neither knows it.
std::string getSystemErrorText(DWORD code, HMODULE module = nullptr);

// "system error <code> (<description>)".
std::string formatSystemError(DWORD code, HMODULE module = nullptr);

// Raises a failed Windows call as ZorError<SysError> located at the statement: function is the Windows
// function that failed, message is a MessageBuilder insertion chain ("DeleteFile(" << path << ") failed").
// The _LAST_ERROR form reads the thread's last error before anything else runs.
#define ZOR_THROW_SYS_ERROR(function, code, message) \
    throw ::ZorError<::SysError>(                    \
        ::SysError(::MessageBuilder() << message, ::functionAddress(function), (code)), ZOR_HERE)

#define ZOR_THROW_LAST_ERROR(function, message)                \
    do {                                                       \
        const DWORD zorLastError_ = ::GetLastError();          \
        ZOR_THROW_SYS_ERROR(function, zorLastError_, message); \
    } while (false)
