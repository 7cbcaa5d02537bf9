#include "common/share/errors/ZorError.h"

#include <algorithm>
#include <locale>
#include <string_view>

#include "common/share/FileName.h"

std::string composeErrorText(const char* message, const SourceLocation& where) {
    return (MessageBuilder() << FileUtils::fileName(where.file) << "(" << where.line << ") at "
                             << where.function << "(): " << message)
        .str();
}

ZorError<std::runtime_error> createRuntimeError(const MessageBuilder& message, const SourceLocation& where) {
    return ZorError<std::runtime_error>(message.str(), where);
}

ZorError<std::runtime_error> createRuntimeError(const char* message, const SourceLocation& where) {
    return ZorError<std::runtime_error>(std::string(message), where);
}

namespace {

bool isClassicSpace(char c) {
    return std::isspace(c, std::locale::classic());
}

std::string trimRight(const std::string& text) {
    auto end = std::find_if_not(text.rbegin(), text.rend(), isClassicSpace).base();
    return std::string(text.begin(), end);
}

std::string trim(const std::string& text) {
    std::string right = trimRight(text);
    return std::string(std::find_if_not(right.begin(), right.end(), isClassicSpace), right.end());
}

}  // namespace

std::string joinMessages(const std::string& message, const std::string& detail) {
    const std::string head = trimRight(message);
    const std::string tail = trim(detail);
    if (head.empty() || tail.empty()) return head + tail;
    const bool endsInPunctuation = std::string_view(";.,:!?").find(head.back()) != std::string_view::npos;
    return head + (endsInPunctuation ? " " : ". ") + tail;
}
