#include "common/windows/WinErrorHandling.h"

#include "common/share/logging/Logger.h"
#include "common/share/tstrings.h"

namespace {

constexpr DWORD kFromSystem =
    FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM;

// Owns the buffer FormatMessageW allocates.
struct LocalBuffer {
    wchar_t* text = nullptr;
    ~LocalBuffer() {
        if (text) LocalFree(text);
    }
};

DWORD formatMessage(DWORD flags, HMODULE module, DWORD code, LocalBuffer& buffer) {
    return FormatMessageW(flags, module, code, 0, reinterpret_cast<wchar_t*>(&buffer.text), 0, nullptr);
}

// One line: control characters become blanks; blanks and periods at the end go.
std::wstring toOneLine(const wchar_t* text, DWORD length) {
    std::wstring line(text, length);
    for (wchar_t& c : line) {
        if (c < 0x20) c = L' ';
    }
    const auto end = line.find_last_not_of(L" .");
    line.erase(end == std::wstring::npos ? 0 : end + 1);
    return line;
}

// The full text of a SysError: "<message>. System error [<code>](system error <code> (<description>))".
std::string makeMessage(const std::string& message, const char* label, const void* failedFunction,
                        DWORD code) {
    MessageBuilder text;
    text << label << " [" << code << "]";
    HMODULE module = nullptr;
    if (GetModuleHandleExA(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            static_cast<const char*>(failedFunction), &module)) {
        text << "(" << formatSystemError(code, module) << ")";
    } else {
        LOG_WARNING("GetModuleHandleEx() failed for " << failedFunction << " address.");
    }
    return joinMessages(message, text.str());
}

}  // namespace

std::string getSystemErrorText(DWORD code, HMODULE module) {
    LocalBuffer buffer;
    DWORD length =
        formatMessage(module ? kFromSystem | FORMAT_MESSAGE_FROM_HMODULE : kFromSystem, module, code, buffer);
    if (length == 0 && module) length = formatMessage(kFromSystem, nullptr, code, buffer);
    if (length == 0) return "No description available";
    return tstrings::toUtf8(toOneLine(buffer.text, length));
}

std::string formatSystemError(DWORD code, HMODULE module) {
    return (MessageBuilder() << "system error " << code << " (" << getSystemErrorText(code, module) << ")")
        .str();
}

SysError::SysError(const MessageBuilder& message, const void* failedFunction, unsigned long code)
    : std::runtime_error(makeMessage(message.str(), "System error", failedFunction, code)) {}
