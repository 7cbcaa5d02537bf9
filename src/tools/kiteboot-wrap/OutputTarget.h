// What --output names as kiteboot-wrap replaces it. Only a regular file is replaced: a device, a FIFO, a
// socket or a directory given as --output is refused and left as it is (as root, `--output /dev/null` must
// not replace the system's /dev/null). A symbolic link is written through, as cp and a compiler's output
// are: the file it leads to is replaced and the link is kept; a link that leads nowhere is refused, as cp
// refuses to write through one.
#pragma once

#include <filesystem>
#include <string>

namespace wrap {

struct OutputTarget {
    std::string path;     // the file to replace: the output itself, or where its links lead
    bool exists = false;  // a regular file is there
    std::string problem;  // "" when path may be written; otherwise the sentence that says why not
};

// output as given; option names it in sentences ("--output").
OutputTarget outputTarget(const std::string& output);

// "" for a regular file or no file; otherwise what the status says is there ("a FIFO", "a directory").
std::string notRegularFile(const std::filesystem::file_status& status);

}  // namespace wrap
