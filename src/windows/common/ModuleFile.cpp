#include "windows/common/ModuleFile.h"

#include <exception>
#include <string>

#include "windows/common/DllFunction.h"

namespace {

// STATUS_SUCCESS when both views are of one file (the first mapped as an image).
using NtAreMappedFilesTheSameFn = LONG(NTAPI*)(PVOID imageView, PVOID fileView);

std::wstring modulePath(HMODULE module) {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) return path.substr(0, length);
        path.resize(path.size() * 2);
    }
}

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
        const std::wstring path = modulePath(module);
        if (path.empty()) return UniqueHandle();
        UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        if (file.get() == INVALID_HANDLE_VALUE || !isImageFileOf(module, file.get())) return UniqueHandle();
        return file;
    } catch (const std::exception&) {
        // Binding the proof failed (no ntdll to load): the caller reads the mapped image instead.
        return UniqueHandle();
    }
}
