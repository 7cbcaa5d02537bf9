// Where things are: the running module, its file, the temporary and system directories.
#pragma once

#include <string>

#include "common/windows/WinHeaders.h"

namespace SysInfo {

// The module that contains the running code (the executable). Not reference-counted; never released.
// Throws ZorError<SysError> ("GetModuleHandleExW failed").
HMODULE getCurrentModuleHandle();

// Full path of a loaded module's file, as Windows gives it, of any length.
// Throws ZorError<SysError> ("GetModuleFileName failed").
std::string getModuleFilePath(HMODULE module);

// Full path of the process's executable, as Windows gives it, of any length.
// Throws ZorError<SysError> ("GetModuleFileName failed").
std::string getProcessModulePath();

// Full path of the module that contains the running code.
std::string getCurrentModulePath();

// The process's temporary directory into path, without trailing separators, except that a root keeps one
// ("T:\\") (GetTempPath2W where the system has it, GetTempPathW otherwise). ERROR_SUCCESS, or why it cannot
// be determined (the query's error; ERROR_PATH_NOT_FOUND when the query names none), path then untouched.
// Never throws: the log's directory is found with it.
DWORD getTempDir(std::string& path);

// A query with GetTempPathW's signature.
using TempPathQuery = DWORD(WINAPI*)(DWORD size, LPWSTR buffer);
// Binds GetTempPath2W: the function, or null where the system lacks it.
using TempPathBinding = TempPathQuery (*)();
// getTempDir with the binding given: the directory the bound query gives, GetTempPathW's when it gives none.
DWORD getTempDir(TempPathBinding bindSecond, std::string& path);

// The Windows system directory without trailing separators. Throws ZorError<SysError> ("GetSystemDirectory
// failed") or ZorError<std::runtime_error> ("Unexpected reply from GetSystemDirectory").
std::string getSystemDir();

// ---- Operating system version, read once during static initialisation.

// 0: Windows 2000 or older, or unknown; 1: XP / Server 2003 (5.1, 5.2); 2: Vista (6.0); 3: 7 (6.1);
// 4: 8 (6.2); 5: 8.1 (6.3); 6: 10 and later releases reporting 10.0; 7: any other version from 6 up.
int classifyOsVersion(unsigned long major, unsigned long minor);

// The class of the running system, computed during static initialisation.
int getOsVersionClass();

// Fills a version record; true when it did. May throw (binding its library can fail).
using OsVersionReader = bool (*)(OSVERSIONINFOEXW& record);

// Zeroes record and sets its size field, fills it with primary or, when primary returns false, with
// fallback, and returns classifyOsVersion of its major and minor version. Never throws, so it can run
// during static initialisation: an exception from a reader becomes one ERROR record, and the record is
// then treated as unread (zeroed again, class 0) without trying the other reader.
int readOsVersionClass(OSVERSIONINFOEXW& record, OsVersionReader primary, OsVersionReader fallback) noexcept;

}  // namespace SysInfo
