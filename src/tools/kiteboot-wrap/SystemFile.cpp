#include "SystemFile.h"

#include <cerrno>
#include <cstdint>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>

#include "../../common/windows/WinHeaders.h"
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace wrap {

#ifdef _WIN32

NewFile createNewFile(const std::filesystem::path& path) {
    NewFile created;
    const HANDLE handle =
        CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        created.nameTaken = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
        created.error = std::error_code(static_cast<int>(error), std::system_category());
        return created;
    }
    const int descriptor = _open_osfhandle(reinterpret_cast<std::intptr_t>(handle), _O_RDWR | _O_BINARY);
    if (descriptor == -1) {
        created.error = std::error_code(errno, std::generic_category());
        CloseHandle(handle);
        return created;
    }
    created.file = _fdopen(descriptor, "w+b");
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

long long readFileAt(std::FILE* file, std::uint64_t offset, std::uint8_t* buffer, std::size_t size) {
    if (std::fflush(file) != 0) return -1;
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD read = 0;
    const DWORD want = size < 0x40000000 ? static_cast<DWORD>(size) : 0x40000000;
    if (!ReadFile(handle, buffer, want, &read, &at)) return GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
    return read;
}

bool copyPermissions(std::FILE*, const std::filesystem::path&) {
    return true;
}

#else

NewFile createNewFile(const std::filesystem::path& path) {
    NewFile created;
    const int descriptor = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0777);
    if (descriptor == -1) {
        created.nameTaken = errno == EEXIST;
        created.error = std::error_code(errno, std::generic_category());
        return created;
    }
    created.file = fdopen(descriptor, "w+b");
    if (!created.file) {
        created.error = std::error_code(errno, std::generic_category());
        close(descriptor);
    }
    return created;
}

bool flushToDisk(std::FILE* file) {
    return std::fflush(file) == 0 && fsync(fileno(file)) == 0;
}

long long readFileAt(std::FILE* file, std::uint64_t offset, std::uint8_t* buffer, std::size_t size) {
    if (std::fflush(file) != 0) return -1;
    return pread(fileno(file), buffer, size, static_cast<off_t>(offset));
}

bool copyPermissions(std::FILE* file, const std::filesystem::path& from) {
    struct stat existing;
    return stat(from.c_str(), &existing) == 0 && fchmod(fileno(file), existing.st_mode & 0777) == 0;
}

#endif

}  // namespace wrap
