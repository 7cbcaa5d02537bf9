#include "windows/common/handles/UserTempDirectory.h"

#include <new>

#include "common/share/tstrings.h"
#include "windows/common/SysInfo.h"
#include "windows/common/handles/HandleFiles.h"

namespace {

struct Opened {
    std::string path;
    UniqueHandle handle;
    DWORD error = ERROR_SUCCESS;
};

Opened open() {
    Opened opened;
    opened.error = SysInfo::getTempDir(opened.path);
    if (opened.error != ERROR_SUCCESS) return opened;
    opened.error = HandleFiles::openDirectory(tstrings::fromUtf8(opened.path), HandleFiles::kHoldDirectory,
                                              opened.handle);
    return opened;
}

// Never destroyed: the log may be first written from another static object's destructor.
alignas(Opened) unsigned char storage[sizeof(Opened)];

const Opened& opened() {
    static const Opened* const instance = new (storage) Opened(open());
    return *instance;
}

}  // namespace

namespace UserTempDirectory {

const std::string& path() {
    return opened().path;
}

DWORD reopen(ACCESS_MASK access, UniqueHandle& directory) {
    const Opened& held = opened();
    if (held.error != ERROR_SUCCESS) return held.error;
    return HandleFiles::reopen(held.handle.get(), access, HandleFiles::kShareAll, directory);
}

}  // namespace UserTempDirectory
