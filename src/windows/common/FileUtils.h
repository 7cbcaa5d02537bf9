// File-system utilities: path operations, temporary names, moving and deleting, directory walks and the
// scoped deleter. Paths are narrow (UTF-8) strings passed unconverted to the ANSI calls.
#pragma once

#include <string>

namespace FileUtils {

// ---- Path operations: pure string functions; "\\" and "/" both separate, "\\" is the one inserted.

// The path without its last component and the separators before it; empty when there is no parent part.
std::string parentPath(const std::string& path);
// The text after the last separator; the whole path when it has none.
std::string fileName(const std::string& path);
// The path without separators at its end.
std::string stripTrailingSeparators(const std::string& path);
// base and tail joined by exactly one "\\"; an empty side gives the other unchanged.
std::string joinPath(const std::string& base, const std::string& tail);
// base = joinPath(base, tail); returns base.
std::string& appendPath(std::string& base, const std::string& tail);

}  // namespace FileUtils
