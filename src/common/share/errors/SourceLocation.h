// Where a failure was raised or absorbed: source file, function text, line.
#pragma once

#include <exception>

#include "common/share/FunctionText.h"

struct SourceLocation {
    SourceLocation(const char* file, const char* function, int line)
        : file(file), function(function), line(line) {}

    // Report a caught exception as one ERROR record located here: "Exception with message '<what>' caught".
    // Written whatever the logger's threshold is.
    void reportError(const std::exception& error) const;
    // The same for an exception of unknown type: "Unknown exception caught".
    void reportUnknownError() const;

    const char* file;      // as the compiler's file macro gives it; "/" or "\\" separators
    const char* function;  // static text, see FunctionText.h
    int line;
};

// The location of the statement that uses it.
#define ZOR_HERE ::SourceLocation(__FILE__, ZOR_FUNCTION, __LINE__)

// The two handlers of a site that absorbs failures: `try { ... } ZOR_REPORT_EXCEPTIONS`.
// Each caught exception becomes one ERROR record located at this line; nothing is rethrown.
#define ZOR_REPORT_EXCEPTIONS                 \
    catch (const std::exception& zorError_) { \
        ZOR_HERE.reportError(zorError_);      \
    }                                         \
    catch (...) {                             \
        ZOR_HERE.reportUnknownError();        \
    }
