#include "OutputTarget.h"

#include <system_error>

#include "FilePath.h"
#include "ShownText.h"

namespace wrap {

namespace fs = std::filesystem;

std::string notRegularFile(const fs::file_status& status) {
    switch (status.type()) {
        case fs::file_type::not_found:
        case fs::file_type::regular:
            return "";
        case fs::file_type::directory:
            return "a directory";
        case fs::file_type::character:
            return "a character device";
        case fs::file_type::block:
            return "a block device";
        case fs::file_type::fifo:
            return "a FIFO";
        case fs::file_type::socket:
            return "a socket";
        default:
            return "not a regular file";
    }
}

OutputTarget outputTarget(const std::string& output) {
    const std::string named = "--output '" + shown(output) + "'";
    OutputTarget target{output, false, ""};
    std::error_code error;
    const fs::file_status own = fs::symlink_status(filePath(output), error);
    if (error && error != std::errc::no_such_file_or_directory) {
        target.problem = named + " cannot be looked up: " + error.message();
        return target;
    }
    fs::file_status status = own;
    if (fs::is_symlink(own)) {
        const fs::path resolved = fs::canonical(filePath(output), error);
        if (error) {
            const fs::path link = fs::read_symlink(filePath(output), error);
            target.problem =
                named + " is a symbolic link to '" + shown(pathText(link)) +
                "', which does not exist: kiteboot-wrap replaces the file a link leads to, as cp " +
                "does, and makes none";
            return target;
        }
        target.path = pathText(resolved);
        status = fs::status(resolved, error);
    }
    const std::string kind = notRegularFile(status);
    if (status.type() == fs::file_type::directory)
        target.problem = named + " is a directory; --output names the bootstrapper's file";
    else if (!kind.empty())
        target.problem = named + (fs::is_symlink(own) ? " leads to '" + shown(target.path) + "', " : " is ") +
                         kind + ", not a regular file: only a regular file is replaced";
    target.exists = status.type() == fs::file_type::regular;
    return target;
}

}  // namespace wrap
