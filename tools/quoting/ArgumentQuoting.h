// Quoting an argument vector into one command line, for the programs that start others with given
// arguments: the test harness and the runner.
#pragma once

#include <string>
#include <vector>

// One argument in double quotes, escaped so that the Microsoft C runtime and CommandLineToArgvW give it
// back byte for byte: backslashes are doubled where they precede a quote (an embedded one or the closing
// one) and embedded quotes are escaped; an argument without quotes or trailing backslashes is copied
// unchanged between the quotes.
std::string quoteArgument(const std::string& argument);

// quoteArgument(program), then " " + quoteArgument(argument) for each argument, in order.
std::string quoteCommandLine(const std::string& program, const std::vector<std::string>& arguments);
