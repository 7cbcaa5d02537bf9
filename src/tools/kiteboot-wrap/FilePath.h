// The one conversion between the paths kiteboot-wrap is given (UTF-8 text on every host) and the paths
// the system takes: every file the tool opens, renames, removes or compares goes through filePath. On
// Windows a path is wide; a std::filesystem::path made from narrow text would be converted with the C
// locale there (mingw-w64), not as UTF-8, and name another file than the one given.
#pragma once

#include <filesystem>
#include <string>

namespace wrap {

// Throws WrapError when the text is not UTF-8 (it never is: kiteboot-wrap's texts come from its arguments).
std::filesystem::path filePath(const std::string& utf8);

// The path as UTF-8 text, for messages and for building other paths. Throws WrapError when it is not text
// (a Windows name holding half of a UTF-16 pair).
std::string pathText(const std::filesystem::path& path);

// The file name at the end of a path (either separator on Windows, or a drive's colon), and the path
// before it with its separator ("" for a bare name): the two parts of the text as given.
std::string fileNameOf(const std::string& path);
std::string directoryOf(const std::string& path);

// Whether the two paths name one existing file (the same device and file number, whatever the spelling:
// links, "..", case on a file system that ignores it). False when either does not exist.
bool sameFile(const std::string& a, const std::string& b);

}  // namespace wrap
