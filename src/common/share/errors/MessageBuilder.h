// The narrow text stream in which messages of exceptions and log records are composed.
#pragma once

#include <sstream>
#include <string>
#include <type_traits>

class MessageBuilder {
public:
    MessageBuilder() = default;
    explicit MessageBuilder(const char* initial);
    MessageBuilder(const MessageBuilder& other);
    MessageBuilder& operator=(const MessageBuilder& other);

    MessageBuilder& operator<<(const char* text);
    MessageBuilder& operator<<(const std::string& text);
    // Wide text is appended as UTF-8.
    MessageBuilder& operator<<(const std::wstring& text);
    MessageBuilder& operator<<(char c);
    // Handles and addresses: 16 upper-case hexadecimal digits, no prefix (printf's "%p" on 64-bit).
    MessageBuilder& operator<<(const void* pointer);

    // Integers in decimal (error codes, line numbers, status values).
    template <class Integer, std::enable_if_t<std::is_integral_v<Integer> && !std::is_same_v<Integer, char> &&
                                                  !std::is_same_v<Integer, bool>,
                                              int> = 0>
    MessageBuilder& operator<<(Integer value) {
        stream_ << +value;
        return *this;
    }

    // Any other object pointer is rendered as an address.
    template <class T, std::enable_if_t<!std::is_same_v<std::remove_cv_t<T>, char>, int> = 0>
    MessageBuilder& operator<<(T* pointer) {
        return *this << static_cast<const void*>(pointer);
    }

    // The text accumulated so far; may be taken any number of times.
    std::string str() const { return stream_.str(); }

private:
    std::ostringstream stream_;
};

// Renders a pointer as 16 upper-case hexadecimal digits.
std::string formatPointer(const void* pointer);
