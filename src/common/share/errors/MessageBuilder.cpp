#include "common/share/errors/MessageBuilder.h"

#include <cstdint>

#include "common/share/tstrings.h"

MessageBuilder::MessageBuilder(const char* initial) {
    stream_ << initial;
}

MessageBuilder::MessageBuilder(const MessageBuilder& other) {
    stream_ << other.str();
}

MessageBuilder& MessageBuilder::operator=(const MessageBuilder& other) {
    if (this != &other) stream_.str(other.str());
    stream_.seekp(0, std::ios_base::end);
    return *this;
}

MessageBuilder& MessageBuilder::operator<<(const char* text) {
    stream_ << text;
    return *this;
}

MessageBuilder& MessageBuilder::operator<<(const std::string& text) {
    stream_ << text;
    return *this;
}

MessageBuilder& MessageBuilder::operator<<(const std::wstring& text) {
    stream_ << tstrings::toUtf8(text);
    return *this;
}

MessageBuilder& MessageBuilder::operator<<(char c) {
    stream_ << c;
    return *this;
}

MessageBuilder& MessageBuilder::operator<<(const void* pointer) {
    stream_ << formatPointer(pointer);
    return *this;
}

std::string formatPointer(const void* pointer) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::uintptr_t value = reinterpret_cast<std::uintptr_t>(pointer);
    std::string text(2 * sizeof(value), '0');
    for (auto it = text.rbegin(); it != text.rend(); ++it, value >>= 4)
        *it = digits[value & 0xF];
    return text;
}
