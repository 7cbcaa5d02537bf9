#include "windows/common/FileRecords.h"

#include "common/share/errors/SysError.h"

namespace FileUtils {

namespace {

std::string kindOf(bool folder) {
    return folder ? "directory" : "file";
}

}  // namespace

std::string createdText(const std::string& path, bool folder) {
    return "Created [" + path + "] " + kindOf(folder);
}

std::string deletedText(const std::string& path, bool folder) {
    return "Deleted [" + path + "] " + kindOf(folder);
}

std::string discardedReadOnlyText(const std::string& path) {
    return "Discarded R/O attribute from [" + path + "] file";
}

std::string describeMove(const std::string& from, const std::string& to, DWORD flags, bool folder) {
    const bool onReboot = (flags & MOVEFILE_DELAY_UNTIL_REBOOT) != 0;
    std::string text = to.empty() ? (onReboot ? "Delete" : "Deleted") : (onReboot ? "Move" : "Moved");
    text += " '" + from + "' " + (folder ? "folder" : "file");
    if (!to.empty()) text += " to '" + to + "'";
    if (onReboot) text += " on reboot";
    return text;
}

std::string leftoverText(const char* call, const std::string& path, const void* function, DWORD error) {
    return SysError(MessageBuilder() << call << "(" << path << ") failed", function, error).what();
}

}  // namespace FileUtils
