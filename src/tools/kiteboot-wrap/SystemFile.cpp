#include "SystemFile.h"

#include <cerrno>
#include <cstdint>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>

#include "../../common/windows/WinHeaders.h"
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace wrap {

#ifdef _WIN32

NewFile createNewFile(const std::filesystem::path& path) {
    NewFile created;
    const HANDLE handle = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                      nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        created.nameTaken = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
        created.error = std::error_code(static_cast<int>(error), std::system_category());
        return created;
    }
    const int descriptor = _open_osfhandle(reinterpret_cast<std::intptr_t>(handle), _O_WRONLY | _O_BINARY);
    if (descriptor == -1) {
        created.error = std::error_code(errno, std::generic_category());
        CloseHandle(handle);
        return created;
    }
    created.file = _fdopen(descriptor, "wb");
    if (!created.file) {
        created.error = std::error_code(errno, std::generic_category());
        _close(descriptor);
    }
    return created;
}

bool flushToDisk(std::FILE* file) {
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    return std::fflush(file) == 0 && FlushFileBuffers(handle);
}

#else

NewFile createNewFile(const std::filesystem::path& path) {
    NewFile created;
    const int descriptor = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (descriptor == -1) {
        created.nameTaken = errno == EEXIST;
        created.error = std::error_code(errno, std::generic_category());
        return created;
    }
    created.file = fdopen(descriptor, "wb");
    if (!created.file) {
        created.error = std::error_code(errno, std::generic_category());
        close(descriptor);
    }
    return created;
}

bool flushToDisk(std::FILE* file) {
    return std::fflush(file) == 0 && fsync(fileno(file)) == 0;
}

#endif

}  // namespace wrap
