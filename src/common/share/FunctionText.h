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

constexpr std::size_t kNone = std::string_view::npos;

constexpr bool isIdentifierChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

constexpr bool isOpening(char c) {
    return c == '<' || c == '(' || c == '[' || c == '{';
}
constexpr bool isClosing(char c) {
    return c == '>' || c == ')' || c == ']' || c == '}';
}

// Index of the opening bracket that matches the closing one at text[close] ("()" or "[]"); kNone if
// the text is unbalanced.
constexpr std::size_t matchingOpen(std::string_view text, std::size_t close) {
    const char closing = text[close];
    const char opening = closing == ')' ? '(' : '[';
    int depth = 0;
    for (std::size_t i = close + 1; i-- > 0;) {
        if (text[i] == closing) {
            ++depth;
        } else if (text[i] == opening && --depth == 0) {
            return i;
        }
    }
    return kNone;
}

// Template arguments listed after the signature: " [with T = int; U = char]" (GCC) or
// " [T = int, U = char]" (Clang).
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
                if (isOpening(c)) {
                    ++depth;
                } else if (isClosing(c)) {
                    --depth;
                } else if ((c == ';' || c == ',') && depth == 0) {
                    break;
                }
            }
            const std::string_view pair = rest.substr(0, end);
            const std::size_t equals = pair.find(" = ");
            if (equals != kNone) {
                visit(pair.substr(0, equals), pair.substr(equals + 3));
            }
            rest = end < rest.size() ? rest.substr(end + 1) : std::string_view{};
            while (!rest.empty() && rest.front() == ' ') {
                rest.remove_prefix(1);
            }
        }
    }

    constexpr std::string_view valueOf(std::string_view name) const {
        std::string_view found;
        forEach([&](std::string_view key, std::string_view value) {
            if (key == name) {
                found = value;
            }
        });
        return found;
    }
};

// A GCC/Clang signature split into the part that names the function and the template argument list.
struct Signature {
    std::string_view declaration;
    TemplateArguments arguments;
};

constexpr Signature splitTemplateArguments(std::string_view pretty) {
    Signature result{pretty, {}};
    if (pretty.empty() || pretty.back() != ']') {
        return result;
    }
    const std::size_t open = matchingOpen(pretty, pretty.size() - 1);
    if (open == kNone || open == 0 || pretty[open - 1] != ' ') {
        return result;
    }
    std::string_view list = pretty.substr(open + 1, pretty.size() - open - 2);
    if (list.substr(0, 5) == "with ") {
        list.remove_prefix(5);
    }
    result.declaration = pretty.substr(0, open - 1);
    result.arguments.list = list;
    return result;
}

// Start of the qualified name that ends at text[end]: after the last blank, '*' or '&' outside brackets,
// or after an opening bracket that the name lies in.
constexpr std::size_t qualifiedNameStart(std::string_view text, std::size_t end) {
    int depth = 0;
    for (std::size_t i = end; i > 0; --i) {
        const char c = text[i - 1];
        if (isClosing(c)) {
            ++depth;
        } else if (isOpening(c)) {
            if (depth == 0) {
                return i;
            }
            --depth;
        } else if (depth == 0 && (c == ' ' || c == '*' || c == '&')) {
            return i;
        }
    }
    return 0;
}

// Position of the last whole word "operator" in text; kNone if there is none.
constexpr std::size_t operatorKeyword(std::string_view text) {
    constexpr std::string_view keyword = "operator";
    for (std::size_t at = text.rfind(keyword); at != kNone;
         at = at == 0 ? kNone : text.rfind(keyword, at - 1)) {
        const std::size_t after = at + keyword.size();
        const bool startsWord = at == 0 || !isIdentifierChar(text[at - 1]);
        const bool endsWord = after == text.size() || !isIdentifierChar(text[after]);
        if (startsWord && endsWord) {
            return at;
        }
    }
    return kNone;
}

// The qualified name in a declaration such as "static int ns::Class<T>::name(const T&) const".
// The parameter list is the last balanced "(...)"; what follows it are qualifiers. An operator's name
// runs from its qualifiers to the parameter list ("S::operator<", "S::operator int (*)(int)"). A function
// that returns a function pointer is written "R (* name(parameters))(parameters)"; its name is found
// inside the parentheses.
constexpr std::string_view functionName(std::string_view declaration) {
    for (;;) {
        const std::size_t close = declaration.rfind(')');
        if (close == kNone) {
            return declaration.substr(qualifiedNameStart(declaration, declaration.size()));
        }
        const std::size_t open = matchingOpen(declaration, close);
        if (open == kNone) {
            return declaration;
        }
        const std::string_view head = declaration.substr(0, open);
        if (const std::size_t keyword = operatorKeyword(head); keyword != kNone) {
            return head.substr(qualifiedNameStart(head, keyword));
        }
        if (head.empty() || head.back() != ')') {
            return head.substr(qualifiedNameStart(head, head.size()));
        }
        const std::size_t innerOpen = matchingOpen(head, head.size() - 1);
        if (innerOpen == kNone) {
            return head;
        }
        declaration = head.substr(innerOpen + 1, head.size() - innerOpen - 2);
    }
}

// Length of the unnamed-namespace token that starts text, as GCC or Clang spells it; 0 if none.
constexpr std::size_t anonymousNamespaceLength(std::string_view text) {
    for (std::string_view token :
         {std::string_view("{anonymous}"), std::string_view("(anonymous namespace)")}) {
        if (text.substr(0, token.size()) == token) {
            return token.size();
        }
    }
    return 0;
}

// Writes the MSVC form of a GCC/Clang signature, one character at a time, through put(char).
template <class Put>
constexpr void writeFunctionText(std::string_view pretty, Put&& put) {
    constexpr std::string_view msvcAnonymous = "`anonymous-namespace'";
    const Signature signature = splitTemplateArguments(pretty);
    const std::string_view name = functionName(signature.declaration);
    for (std::size_t i = 0; i < name.size();) {
        if (const std::size_t length = anonymousNamespaceLength(name.substr(i))) {
            for (char c : msvcAnonymous) {
                put(c);
            }
            i += length;
            continue;
        }
        if (!isIdentifierChar(name[i])) {
            put(name[i++]);
            continue;
        }
        // A template parameter's name stands for its argument (GCC writes "DllFunction<Function>").
        std::size_t end = i;
        while (end < name.size() && isIdentifierChar(name[end])) {
            ++end;
        }
        const std::string_view identifier = name.substr(i, end - i);
        const std::string_view value = signature.arguments.valueOf(identifier);
        for (char c : value.empty() ? identifier : value) {
            put(c);
        }
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
#define ZOR_FUNCTION                                                                                         \
    (__extension__({                                                                                         \
        static constexpr ::zor::detail::FunctionText<::zor::detail::functionTextLength(__PRETTY_FUNCTION__)> \
            zorFunctionText_{__PRETTY_FUNCTION__};                                                           \
        zorFunctionText_.c_str();                                                                            \
    }))
#endif
