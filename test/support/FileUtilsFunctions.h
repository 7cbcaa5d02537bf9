// Function texts of the file utilities as their log records and exceptions carry them.
#pragma once

namespace testing_support {

constexpr const char* kCreateNewFile = "FileUtils::`anonymous-namespace'::createNewFile";
constexpr const char* kCreateDir = "FileUtils::`anonymous-namespace'::createDir";
constexpr const char* kMoveFileImpl = "FileUtils::`anonymous-namespace'::moveFileImpl";
constexpr const char* kDeleteFileImpl = "FileUtils::`anonymous-namespace'::deleteFileImpl";
constexpr const char* kDeleteFile = "FileUtils::deleteFile";
constexpr const char* kDeleteDirectory = "FileUtils::deleteDirectory";
// Reports a file that a directory's removal had to leave behind.
constexpr const char* kLeftoverFile = "FileUtils::`anonymous-namespace'::DeleteFilesCallback::visitFile";

}  // namespace testing_support
