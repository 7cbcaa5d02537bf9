#include "SystemFile.h"

#include <cerrno>
#include <cstdint>

#include "WrapError.h"

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

namespace {

std::error_code lastErrorCause() {
    return {static_cast<int>(GetLastError()), std::system_category()};
}

}  // namespace

std::FILE* createNewFile(const std::filesystem::path& path, const std::string& failure) {
    const HANDLE handle =
        CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const std::error_code cause = lastErrorCause();
        if (cause.value() == ERROR_FILE_EXISTS || cause.value() == ERROR_ALREADY_EXISTS) return nullptr;
        throw systemError(failure, cause);
    }
    const int descriptor = _open_osfhandle(reinterpret_cast<std::intptr_t>(handle), _O_RDWR | _O_BINARY);
    if (descriptor == -1) {
        const std::error_code cause = errnoCause();
        CloseHandle(handle);
        throw systemError(failure, cause);
    }
    std::FILE* file = _fdopen(descriptor, "w+b");
    if (!file) {
        const std::error_code cause = errnoCause();
        _close(descriptor);
        throw systemError(failure, cause);
    }
    return file;
}

void flushToDisk(std::FILE* file, const std::string& failure) {
    if (std::fflush(file) != 0) throw systemError(failure, errnoCause());
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    if (!FlushFileBuffers(handle)) throw systemError(failure, lastErrorCause());
}

std::size_t readFileAt(std::FILE* file, std::uint64_t offset, std::uint8_t* buffer, std::size_t size,
                       const std::string& failure) {
    if (std::fflush(file) != 0) throw systemError(failure, errnoCause());
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD read = 0;
    const DWORD want = size < 0x40000000 ? static_cast<DWORD>(size) : 0x40000000;
    if (ReadFile(handle, buffer, want, &read, &at)) return read;
    if (GetLastError() == ERROR_HANDLE_EOF) return 0;
    throw systemError(failure, lastErrorCause());
}

void startWritingToDisk(std::FILE* file, std::uint64_t, std::uint64_t, const std::string& failure) {
    if (std::fflush(file) != 0) throw systemError(failure, errnoCause());
}

void copyPermissions(std::FILE*, const std::filesystem::path&, const std::string&) {}

#else

std::FILE* createNewFile(const std::filesystem::path& path, const std::string& failure) {
    const int descriptor = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0777);
    if (descriptor == -1) {
        if (errno == EEXIST) return nullptr;
        throw systemError(failure, errnoCause());
    }
    std::FILE* file = fdopen(descriptor, "w+b");
    if (!file) {
        const std::error_code cause = errnoCause();
        close(descriptor);
        throw systemError(failure, cause);
    }
    return file;
}

void startWritingToDisk(std::FILE* file, std::uint64_t offset, std::uint64_t size,
                        const std::string& failure) {
    if (std::fflush(file) != 0) throw systemError(failure, errnoCause());
#ifdef SYNC_FILE_RANGE_WRITE
    // Only a request: a system that refuses it (ENOSYS, a file system without it) still gets the final flush.
    sync_file_range(fileno(file), static_cast<off_t>(offset), static_cast<off_t>(size),
                    SYNC_FILE_RANGE_WRITE);
#else
    (void)offset;
    (void)size;
#endif
}

void flushToDisk(std::FILE* file, const std::string& failure) {
    if (std::fflush(file) != 0 || fsync(fileno(file)) != 0) throw systemError(failure, errnoCause());
}

std::size_t readFileAt(std::FILE* file, std::uint64_t offset, std::uint8_t* buffer, std::size_t size,
                       const std::string& failure) {
    if (std::fflush(file) != 0) throw systemError(failure, errnoCause());
    const ssize_t read = pread(fileno(file), buffer, size, static_cast<off_t>(offset));
    if (read < 0) throw systemError(failure, errnoCause());
    return static_cast<std::size_t>(read);
}

void copyPermissions(std::FILE* file, const std::filesystem::path& from, const std::string& failure) {
    struct stat existing;
    if (stat(from.c_str(), &existing) != 0 || fchmod(fileno(file), existing.st_mode & 0777) != 0)
        throw systemError(failure, errnoCause());
}

#endif

}  // namespace wrap
