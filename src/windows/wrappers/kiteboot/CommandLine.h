// The payload's command line: the payload path in double quotes, then the launcher's own arguments exactly
// as they were typed, so that any installer, whatever it makes of its command line, sees what the user
// gave. The same rules for narrow text and for the UTF-16 text of the wide system calls, unit for unit.
#pragma once

#include <string>
#include <string_view>

// What follows the program name in a raw command line, where the C runtime finds it: a program name that
// starts with a double quote ends at the next double quote (or the end), any other at the first blank
// (space or tab); the blanks after it are skipped. Empty when nothing follows.
std::string_view argumentsAfterProgramName(std::string_view commandLine);
std::wstring_view argumentsAfterProgramName(std::wstring_view commandLine);

// "\"" + payloadPath + "\"", then one space and arguments unless they are empty.
std::string buildCommandLine(const std::string& payloadPath, std::string_view arguments);
std::wstring buildCommandLine(const std::wstring& payloadPath, std::wstring_view arguments);
