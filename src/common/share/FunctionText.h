// The function text that exceptions and log records carry.
//
// Records name a function the way MSVC's __FUNCTION__ spells it: qualified, without return type or
// parameters, with "`anonymous-namespace'" for an unnamed namespace, and for a member of a class
// template the instance's own arguments ("DllFunction<int (*)(int)>::operator int (*)(int)").
// MSVC gives that text directly. GCC and Clang give a signature instead, so there it is derived from
// __PRETTY_FUNCTION__ at compile time by the constexpr code below. This header is the only place that
// knows about compiler-specific function macros.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace zor {

namespace detail {

constexpr bool isIdentifierChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

constexpr bool endsWith(std::string_view text, std::string_view tail) {
    return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

// Template arguments listed after the signature: " [with T = int; U = char]" (GCC) or " [T = int]" (Clang).
struct TemplateArguments {
    std::string_view list;

    // Calls visit(name, value) for every "name = value" pair of the list.
    template <class Visit>
    constexpr void forEach(Visit&& visit) const {
        std::string_view rest = list;
        while (!rest.empty()) {
            std::size_t end = 0;
            int depth = 0;
            for (; end < rest.size(); ++end) {
                const char c = rest[end];
                if (c == '<' || c == '(' || c == '[') ++depth;
                if (c == '>' || c == ')' || c == ']') --depth;
                if (c == ';' && depth == 0) break;
            }
            const std::string_view pair = rest.substr(0, end);
            const std::size_t equals = pair.find(" = ");
            if (equals != std::string_view::npos) visit(pair.substr(0, equals), pair.substr(equals + 3));
            rest = end < rest.size() ? rest.substr(end + 1) : std::string_view{};
            while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
        }
    }

    constexpr std::string_view valueOf(std::string_view name) const {
        std::string_view found;
        forEach([&](std::string_view key, std::string_view value) {
            if (key == name) found = value;
        });
        return found;
    }
};

// Splits a GCC/Clang signature into the qualified name and the template argument list.
struct Signature {
    std::string_view name;
    TemplateArguments arguments;
};

constexpr Signature splitSignature(std::string_view pretty) {
    Signature result{};
    std::string_view signature = pretty;
    if (!signature.empty() && signature.back() == ']') {
        std::size_t open = signature.rfind(" [");
        if (open != std::string_view::npos) {
            std::string_view list = signature.substr(open + 2, signature.size() - open - 3);
            if (list.substr(0, 5) == "with ") list.remove_prefix(5);
            result.arguments.list = list;
            signature = signature.substr(0, open);
        }
    }
    // The parameter list is the last balanced "(...)"; what follows it are qualifiers.
    std::size_t close = signature.rfind(')');
    if (close == std::string_view::npos) {
        result.name = signature;
        return result;
    }
    std::size_t open = close;
    for (int depth = 0;; --open) {
        if (signature[open] == ')') ++depth;
        if (signature[open] == '(' && --depth == 0) break;
        if (open == 0) break;
    }
    std::string_view head = signature.substr(0, open);
    // The name starts after the last blank outside brackets; "operator T" keeps its blank.
    std::size_t start = head.size();
    for (int depth = 0; start > 0; --start) {
        const char c = head[start - 1];
        if (c == '>' || c == ')') ++depth;
        if (c == '<' || c == '(') --depth;
        if (c == ' ' && depth == 0) {
            if (endsWith(head.substr(0, start - 1), "operator")) continue;
            break;
        }
    }
    result.name = head.substr(start);
    return result;
}

// Length of the unnamed-namespace token that starts text, as GCC or Clang spells it; 0 if none.
constexpr std::size_t anonymousNamespaceLength(std::string_view text) {
    for (std::string_view token : {std::string_view("{anonymous}"), std::string_view("(anonymous namespace)")}) {
        if (text.substr(0, token.size()) == token) return token.size();
    }
    return 0;
}

// Writes the MSVC form of a GCC/Clang signature, one character at a time, through put(char).
template <class Put>
constexpr void writeFunctionText(std::string_view pretty, Put&& put) {
    constexpr std::string_view msvcAnonymous = "`anonymous-namespace'";
    const Signature signature = splitSignature(pretty);
    const std::string_view name = signature.name;
    for (std::size_t i = 0; i < name.size();) {
        if (const std::size_t length = anonymousNamespaceLength(name.substr(i))) {
            for (char c : msvcAnonymous) put(c);
            i += length;
            continue;
        }
        if (!isIdentifierChar(name[i])) {
            put(name[i++]);
            continue;
        }
        std::size_t end = i;
        while (end < name.size() && isIdentifierChar(name[end])) ++end;
        const std::string_view identifier = name.substr(i, end - i);
        const std::string_view value = signature.arguments.valueOf(identifier);
        for (char c : value.empty() ? identifier : value) put(c);
        i = end;
    }
}

constexpr std::size_t functionTextLength(std::string_view pretty) {
    std::size_t length = 0;
    writeFunctionText(pretty, [&length](char) { ++length; });
    return length;
}

// The derived text in static storage, NUL-terminated.
template <std::size_t Length>
struct FunctionText {
    std::array<char, Length + 1> text{};

    constexpr explicit FunctionText(std::string_view pretty) {
        std::size_t i = 0;
        writeFunctionText(pretty, [this, &i](char c) { text[i++] = c; });
    }
    constexpr const char* c_str() const { return text.data(); }
};

}  // namespace detail

// The MSVC form of a GCC/Clang function signature, at run time (for tests and tools).
inline std::string msvcFunctionText(std::string_view pretty) {
    std::string text;
    detail::writeFunctionText(pretty, [&text](char c) { text.push_back(c); });
    return text;
}

}  // namespace zor

#if defined(_MSC_VER) && !defined(__clang__)
#define ZOR_FUNCTION __FUNCTION__
#else
// A GCC statement expression, so that the derived text is a constant of the enclosing function.
#define ZOR_FUNCTION                                                                                    \
    (__extension__({                                                                                    \
        static constexpr ::zor::detail::FunctionText<::zor::detail::functionTextLength(__PRETTY_FUNCTION__)> \
            zorFunctionText_{__PRETTY_FUNCTION__};                                                      \
        zorFunctionText_.c_str();                                                                       \
    }))
#endif
