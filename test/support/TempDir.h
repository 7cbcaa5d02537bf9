// A fresh directory for one test, removed with everything in it when the object goes.
#pragma once

#include <string>
#include <vector>

namespace testing_support {

class TempDir {
public:
    // Made inside the process's temporary directory; prefix names it for a reader of leftovers.
    explicit TempDir(const std::string& prefix = "kbt");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    // path() joined with a relative name.
    std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

private:
    std::string path_;
};

// Points this process's TEMP and TMP (and so GetTempPath) at a directory while it lives; the values they
// had come back when it goes.
class TempOverride {
public:
    explicit TempOverride(const std::string& path);
    ~TempOverride();
    TempOverride(const TempOverride&) = delete;
    TempOverride& operator=(const TempOverride&) = delete;

private:
    std::string savedTemp_;
    std::string savedTmp_;
};

// Small file helpers for tests (narrow UTF-8 paths; all but writeFile go through the wide calls, which
// Wine does not hold to MAX_PATH).
void writeFile(const std::string& path, const std::string& content);
std::string readFile(const std::string& path);
bool exists(const std::string& path);
bool isDirectory(const std::string& path);
// Removes a file or a directory tree, clearing read-only attributes; missing paths are fine. Paths longer
// than MAX_PATH work too.
void removeAll(const std::string& path);
// A UTF-8 path as a wide path for the W calls; an absolute one ("C:\\...") with the "\\\\?\\" prefix that
// lifts the MAX_PATH limit.
std::wstring longPath(const std::string& path);
// Names directly inside a directory (no "." or ".."), sorted.
std::vector<std::string> listDirectory(const std::string& path);

}  // namespace testing_support
