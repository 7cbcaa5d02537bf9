#include "windows/common/Dll.h"

#include "common/share/tstrings.h"
#include "common/windows/WinErrorHandling.h"
#include "windows/common/FileUtils.h"
#include "windows/common/SysInfo.h"

namespace {

// A base name that stays inside the system directory once joined to it: not empty, no separator, no drive,
// no "." or "..". Anything else could make the loader look outside the system directory.
bool isBareLibraryName(const std::string& baseName) {
    return !baseName.empty() && baseName != "." && baseName != ".." &&
           baseName.find_first_of("\\/:") == std::string::npos;
}

// <system directory>\<baseName> in UTF-16, exactly as the loader gets it: no extension is added here.
std::wstring systemLibraryPath(const std::string& baseName) {
    if (!isBareLibraryName(baseName)) {
        ZOR_THROW_INVALID_ARGUMENT("Not the base name of a system library: '" << baseName << "'");
    }
    const std::wstring path = tstrings::fromUtf8(FileUtils::joinPath(SysInfo::getSystemDir(), baseName));
    // An empty conversion (text that is not UTF-8) would hand the loader an empty name.
    if (path.empty())
        ZOR_THROW_INVALID_ARGUMENT("Not the base name of a system library: '" << baseName << "'");
    return path;
}

HMODULE loadLibrary(const std::wstring& path) {
    const HMODULE module = LoadLibraryW(path.c_str());
    if (!module) ZOR_THROW_LAST_ERROR(LoadLibraryW, "LoadLibraryW(" << path << ") failed");
    return module;
}

}  // namespace

Dll::Dll(const std::string& baseName) : name_(systemLibraryPath(baseName)), handle_(loadLibrary(name_)) {}

Dll::Dll(const Dll& other) : name_(other.name_) {
    HMODULE module = nullptr;
    // Flags 0: the module's reference count goes up, so this copy holds a reference of its own.
    if (!GetModuleHandleExW(0, name_.c_str(), &module)) {
        ZOR_THROW_LAST_ERROR(GetModuleHandleExW, "GetModuleHandleExW(" << name_ << ") failed");
    }
    handle_.reset(module);
}

Dll::~Dll() = default;

void* Dll::getFunction(const std::string& name, bool mustExist) const {
    const FARPROC function = GetProcAddress(handle_.get(), name.c_str());
    if (!function && mustExist) {
        ZOR_THROW_LAST_ERROR(GetProcAddress, "GetProcAddress(" << name_ << ", " << name << ") failed");
    }
    return reinterpret_cast<void*>(function);
}
