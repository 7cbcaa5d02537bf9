// Texts of Windows error codes, and the one family of macros that raises a failed Windows call.
//
// The launcher and the system layer fail in one of two ways. Code that may throw raises every failure with
// these macros, each named by what it tests, so the record says where and why. Code that must not throw
// (clean-up, the log, the handle closer, the handle-relative file calls) returns the Windows error code,
// ERROR_SUCCESS when all went well; a caller that may throw raises such a code with
// ZOR_THROW_IF_WIN32_ERROR, one that must not passes it on or reports it.
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
// The _LAST_ERROR form reads the thread's last error before anything else runs; the _IF_WIN32_ERROR form
// raises a code a call returned, unless it is ERROR_SUCCESS (code is evaluated once, before message).
#define ZOR_THROW_SYS_ERROR(function, code, message) \
    throw ::ZorError<::SysError>(                    \
        ::SysError(::MessageBuilder() << message, ::functionAddress(function), (code)), ZOR_HERE)

#define ZOR_THROW_LAST_ERROR(function, message)                \
    do {                                                       \
        const DWORD zorLastError_ = ::GetLastError();          \
        ZOR_THROW_SYS_ERROR(function, zorLastError_, message); \
    } while (false)

#define ZOR_THROW_IF_WIN32_ERROR(function, code, message)                                                  \
    do {                                                                                                   \
        const DWORD zorReturnedError_ = (code);                                                            \
        if (zorReturnedError_ != ERROR_SUCCESS) ZOR_THROW_SYS_ERROR(function, zorReturnedError_, message); \
    } while (false)
