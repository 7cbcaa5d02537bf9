#include "common/share/tstrings.h"

#include <cstdarg>
#include <cstdio>
#include <stdexcept>

#include "common/share/errors/ZorError.h"
#include "common/windows/WinHeaders.h"

namespace tstrings {

namespace {

constexpr std::size_t kFormatGrowth = 256;

// The runtime's truncating formatter: at most size - 1 characters and a NUL; -1 when the text did not fit
// or cannot be rendered.
int formatTruncating(std::string& buffer, const char* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    const int length = _vsnprintf_s(&buffer[0], buffer.size(), _TRUNCATE, format, copy);
    va_end(copy);
    return length;
}

// The length the whole text needs without its NUL, or -1 when the runtime cannot measure it. Under Wine's
// msvcrt an invalid conversion ("%y") is measured as if it were text, while the formatter rejects it.
int renderedLength(const char* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    const int length = _vscprintf(format, copy);
    va_end(copy);
    return length;
}

// The variable arguments of a call, ended on every road out.
struct ScopedArguments {
    va_list list;
    ~ScopedArguments() { va_end(list); }
};

// Formats into result, growing it by 256 characters until the text fits. The truncating formatter reports
// a text that did not fit and a format it cannot render alike, with -1; so when an attempt falls short,
// the runtime is asked once for the length of the whole text, and an attempt that fails although that
// length fits the buffer means the format cannot be rendered at all. Returns false in that case, and when
// the length cannot be measured either, so the growth always ends.
bool formatGrowing(std::string& result, const char* format, va_list args) {
    bool measured = false;
    int needed = -1;
    for (;;) {
        result.resize(result.size() + kFormatGrowth);
        const int length = formatTruncating(result, format, args);
        if (length >= 0) {
            result.resize(static_cast<std::size_t>(length));
            return true;
        }
        if (!measured) {
            needed = renderedLength(format, args);
            measured = true;
        }
        if (needed < 0 || static_cast<std::size_t>(needed) < result.size()) {
            return false;
        }
    }
}

std::string toMultiByte(const std::wstring& text) {
    const int length = static_cast<int>(text.size());
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (size < 0) ZOR_THROW_RUNTIME_ERROR("Unexpected reply from WideCharToMultiByte()");
    if (size == 0) return std::string();
    std::string result(static_cast<std::size_t>(size), '\0');
    if (WideCharToMultiByte(CP_UTF8, 0, text.data(), length, &result[0], size, nullptr, nullptr) != size) {
        ZOR_THROW_RUNTIME_ERROR("Unexpected reply from WideCharToMultiByte()");
    }
    return result;
}

std::wstring fromMultiByte(const std::string& text) {
    const int length = static_cast<int>(text.size());
    const int size = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), length, nullptr, 0);
    if (size < 0) ZOR_THROW_RUNTIME_ERROR("Unexpected reply from MultiByteToWideChar()");
    if (size == 0) return std::wstring();
    std::wstring result(static_cast<std::size_t>(size), L'\0');
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), length, &result[0], size) != size) {
        ZOR_THROW_RUNTIME_ERROR("Unexpected reply from MultiByteToWideChar()");
    }
    return result;
}

}  // namespace

std::string unsafe_format(const char* format, ...) {
    if (!format) {
        ZOR_THROW_INVALID_ARGUMENT("Destination buffer can't be NULL");
    }
    ScopedArguments arguments;
    va_start(arguments.list, format);
    std::string result;
    if (!formatGrowing(result, format, arguments.list)) {
        ZOR_THROW_RUNTIME_ERROR("Format '" << format << "' can't be rendered");
    }
    return result;
}

std::string toUtf8(const std::wstring& text) {
    return toMultiByte(text);
}

std::wstring fromUtf8(const std::string& text) {
    return fromMultiByte(text);
}

std::string toLower(const std::string& text) {
    std::string lowered(text);
    for (char& c : lowered) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return lowered;
}

bool equalsIgnoreCase(const std::string& a, const std::string& b) {
    return toLower(a) == toLower(b);
}

}  // namespace tstrings
