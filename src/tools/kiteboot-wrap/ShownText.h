// Text someone gave kiteboot-wrap, as its messages show it: a path or a value may hold control characters
// (a tab, an escape sequence that would drive the terminal) or bytes that are not UTF-8, and a message
// shows them as escapes instead of handing them to the terminal.
#pragma once

#include <string>

namespace wrap {

// The text with \t, \n, \r and \xNN (other control characters, DEL, the C1 controls' bytes and every byte
// that is not part of well-formed UTF-8) in place of what it holds; printable UTF-8 is kept.
std::string shown(const std::string& text);

// The text shown in single quotes, as messages name paths and values: 'setup\texe'.
std::string inQuotes(const std::string& text);

}  // namespace wrap
