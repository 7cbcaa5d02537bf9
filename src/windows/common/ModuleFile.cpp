#include "windows/common/ModuleFile.h"

#include <exception>

#include "windows/common/DllFunction.h"
#include "windows/common/SysInfo.h"
#include "windows/common/WidePath.h"

namespace {

// STATUS_SUCCESS when both views are of one file (the first mapped as an image).
using NtAreMappedFilesTheSameFn = LONG(NTAPI*)(PVOID imageView, PVOID fileView);

// True when file holds the bytes module was mapped from, as the system itself tells by file identity.
bool isImageFileOf(HMODULE module, HANDLE file) {
    const DllFunction<NtAreMappedFilesTheSameFn> sameFile(Dll("ntdll"), "NtAreMappedFilesTheSame",
                                                          Binding::Lenient);
    if (!sameFile.available()) return false;
    const UniqueHandle mapping(CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr));
    if (!mapping.get()) return false;
    const UniqueMappedView view(MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 1));
    if (!view.get()) return false;
    return static_cast<NtAreMappedFilesTheSameFn>(sameFile)(module, view.get()) == 0;
}

}  // namespace

UniqueHandle openModuleFile(HMODULE module) noexcept {
    try {
        std::wstring path;
        if (FileUtils::widePath(SysInfo::getModuleFilePath(module), path) != ERROR_SUCCESS)
            return UniqueHandle();
        UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        if (file.get() == INVALID_HANDLE_VALUE || !isImageFileOf(module, file.get())) return UniqueHandle();
        return file;
    } catch (const std::exception&) {
        // The module's path could not be read or the proof could not be bound: the caller reads the mapped
        // image instead.
        return UniqueHandle();
    }
}
