// The file-name part of a path. Here, below the file-system utilities, because records and error texts
// carry the file name of their source path; FileUtils.h offers it with the other path operations.
#pragma once

#include <string>

namespace FileUtils {

// The text after the last separator ("\\" or "/"); the whole path when it has none.
std::string fileName(const std::string& path);

}  // namespace FileUtils
