// The payload's command line: the payload path and the launcher's arguments, each in double quotes.
#pragma once

#include <string>

// One argument in double quotes, escaped so that the Microsoft C runtime and CommandLineToArgvW give it
// back byte for byte: backslashes are doubled where they precede a quote (an embedded one or the closing
// one) and embedded quotes are escaped; an argument without quotes or trailing backslashes is copied
// unchanged between the quotes.
std::string quoteArgument(const std::string& argument);

// quoteArgument(payloadPath), then " " + quoteArgument(argv[i]) for i from 1 to argc - 1.
std::string buildCommandLine(const std::string& payloadPath, int argc, const char* const* argv);
