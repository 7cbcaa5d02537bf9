#include "windows/wrappers/kiteboot/TempDirectory.h"

#include "common/share/errors/SourceLocation.h"
#include "common/share/logging/Logger.h"
#include "common/share/tstrings.h"
#include "common/windows/WinErrorHandling.h"
#include "windows/common/FileRecords.h"
#include "windows/common/FileUtils.h"
#include "windows/common/handles/HandleFiles.h"
#include "windows/common/handles/UserTempDirectory.h"

TempDirectory::TempDirectory()
    : path_(UserTempDirectory::path()),
      error_(UserTempDirectory::reopen(HandleFiles::kHoldDirectory, handle_)) {}

TempDirectory::TempDirectory(const std::string& path)
    : path_(path),
      error_(HandleFiles::openDirectory(tstrings::fromUtf8(path), HandleFiles::kHoldDirectory, handle_)) {}

std::string TempDirectory::reserveName(const std::string& prefix, const std::string& suffix) const {
    UniqueHandle reserved;
    const auto claim = [&](const std::string& path) {
        return error_ == ERROR_SUCCESS && tstrings::fromUtf8(path).size() < MAX_PATH &&
               createFileIn(handle_.get(), path, DELETE, 0, reserved) == ERROR_SUCCESS;
    };
    const std::string path = FileUtils::createTempFile(prefix, suffix, path_, claim);
    ZOR_THROW_IF_WIN32_ERROR(DeleteFileW, HandleFiles::markForDeletion(reserved.get()),
                             "DeleteFile(" << path << ") failed");
    reserved.reset();
    LOG_TRACE(FileUtils::deletedText(path, false));
    return path;
}

DWORD createFileIn(HANDLE parent, const std::string& path, ACCESS_MASK access, ULONG share,
                   UniqueHandle& file) {
    const std::wstring name = tstrings::fromUtf8(FileUtils::fileName(path));
    if (const DWORD error =
            HandleFiles::open(parent, name, access, share, FILE_CREATE, FILE_NON_DIRECTORY_FILE, file))
        return error;
    LOG_TRACE(FileUtils::createdText(path, false));
    return ERROR_SUCCESS;
}
