// The exceptions the system raises: a standard exception (or SysError) plus the location it was raised at.
#pragma once

#include <stdexcept>
#include <string>
#include <type_traits>

#include "common/share/errors/MessageBuilder.h"
#include "common/share/errors/SourceLocation.h"

// "<file>(<line>) at <function>(): <message>"; the file is cut after its last "\\" or "/".
std::string composeErrorText(const char* message, const SourceLocation& where);

// Base is std::runtime_error, std::invalid_argument or SysError. The wrapped object is kept whole, so a
// handler that catches the base by reference still sees the composed text through what().
template <class Base>
class ZorError : public Base {
public:
    ZorError(const Base& error, const SourceLocation& where)
        : Base(error), text_(composeErrorText(error.what(), where)) {}

    template <class B = Base, std::enable_if_t<std::is_same_v<B, std::runtime_error>, int> = 0>
    ZorError(const std::string& message, const SourceLocation& where)
        : ZorError(std::runtime_error(message), where) {}

    ~ZorError() override = default;

    const char* what() const noexcept override { return text_.c_str(); }

private:
    std::string text_;
};

// Failures without an error code: an unexpected reply, a missing item, a wrong state.
ZorError<std::runtime_error> createRuntimeError(const MessageBuilder& message, const SourceLocation& where);
ZorError<std::runtime_error> createRuntimeError(const char* message, const SourceLocation& where);

// Joins a message and a more detailed text: "<message>. <detail>", or "<message> <detail>" when the
// message already ends in one of ";.,:!?". Both are trimmed; an empty side leaves no separator.
std::string joinMessages(const std::string& message, const std::string& detail);

#define ZOR_THROW_RUNTIME_ERROR(message) throw ::createRuntimeError(::MessageBuilder() << message, ZOR_HERE)
#define ZOR_THROW_INVALID_ARGUMENT(message)                                                               \
    throw ::ZorError<std::invalid_argument>(std::invalid_argument((::MessageBuilder() << message).str()), \
                                            ZOR_HERE)
