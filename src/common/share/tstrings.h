// String operations beyond the standard library: printf-style formatting, UTF-8 conversion, case folding.
#pragma once

#include <string>

namespace tstrings {

// printf-style formatting into a string of any length. The buffer grows in steps of 256 characters until
// the text fits. Throws ZorError<std::invalid_argument> for a null format, and ZorError<std::runtime_error>
// for a format that the runtime cannot render at any size (so the growth always ends).
std::string unsafe_format(const char* format, ...);

// UTF-16 to UTF-8 and back. Text that cannot be converted (invalid UTF-8, for example) gives an empty result.
std::string toUtf8(const std::wstring& text);
std::wstring fromUtf8(const std::string& text);

// ASCII letters lowered in the classic locale; every other byte, 0x80 and up included, unchanged.
std::string toLower(const std::string& text);
bool equalsIgnoreCase(const std::string& a, const std::string& b);

}  // namespace tstrings
