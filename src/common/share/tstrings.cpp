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

// The length the whole text needs, or -1 when the runtime cannot render the format at all.
int renderedLength(const char* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    const int length = _vscprintf(format, copy);
    va_end(copy);
    return length;
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
    va_list args;
    va_start(args, format);
    std::string result;
    int length = -1;
    while (length < 0) {
        result.resize(result.size() + kFormatGrowth);
        length = formatTruncating(result, format, args);
        // The truncating formatter reports a format error like a text that did not fit; ask once whether
        // the format can be rendered at all before growing further.
        if (length < 0 && result.size() == kFormatGrowth && renderedLength(format, args) < 0) {
            va_end(args);
            ZOR_THROW_RUNTIME_ERROR("Format '" << format << "' can't be rendered");
        }
    }
    va_end(args);
    result.resize(static_cast<std::size_t>(length));
    return result;
}

std::string toUtf8(const std::wstring& text) { return toMultiByte(text); }

std::wstring fromUtf8(const std::string& text) { return fromMultiByte(text); }

std::string toLower(const std::string& text) {
    std::string lowered(text);
    for (char& c : lowered) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return lowered;
}

bool equalsIgnoreCase(const std::string& a, const std::string& b) { return toLower(a) == toLower(b); }

}  // namespace tstrings
