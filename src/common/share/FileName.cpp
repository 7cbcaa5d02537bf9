#include "common/share/FileName.h"

namespace FileUtils {

std::string fileName(const std::string& path) {
    const std::size_t last = path.find_last_of("\\/");
    return last == std::string::npos ? path : path.substr(last + 1);
}

}  // namespace FileUtils
