#include "windows/wrappers/kiteboot/HeldDirectory.h"

#include <winternl.h>

#include "common/share/tstrings.h"
#include "windows/common/DllFunction.h"

namespace {

using NtCreateFileFn = NTSTATUS(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK,
                                        PLARGE_INTEGER, ULONG, ULONG, ULONG, ULONG, PVOID, ULONG);
using DosPathToNtPathFn = BOOLEAN(NTAPI*)(PCWSTR, PUNICODE_STRING, PWSTR*, PVOID);
using FreeUnicodeStringFn = VOID(NTAPI*)(PUNICODE_STRING);
using NtStatusToDosErrorFn = ULONG(NTAPI*)(NTSTATUS);

// The system's form of a path (\??\C:\...), released with the function that goes with its allocation.
class NtPath {
public:
    NtPath(const Dll& ntdll, const std::wstring& path)
        : free_(ntdll, "RtlFreeUnicodeString", Binding::Strict) {
        const DllFunction<DosPathToNtPathFn> convert(ntdll, "RtlDosPathNameToNtPathName_U", Binding::Strict);
        converted_ =
            !path.empty() && static_cast<DosPathToNtPathFn>(convert)(path.c_str(), &text_, nullptr, nullptr);
    }
    ~NtPath() {
        if (converted_) static_cast<FreeUnicodeStringFn>(free_)(&text_);
    }
    NtPath(const NtPath&) = delete;
    NtPath& operator=(const NtPath&) = delete;

    bool converted() const { return converted_; }
    PUNICODE_STRING get() { return &text_; }

private:
    DllFunction<FreeUnicodeStringFn> free_;
    UNICODE_STRING text_{};
    bool converted_ = false;
};

}  // namespace

UniqueHandle createHeldDirectory(const std::string& path, PSECURITY_DESCRIPTOR descriptor, DWORD& error) {
    const Dll ntdll("ntdll");
    const DllFunction<NtCreateFileFn> createFile(ntdll, "NtCreateFile", Binding::Strict);
    const DllFunction<NtStatusToDosErrorFn> toWindowsError(ntdll, "RtlNtStatusToDosError", Binding::Strict);
    NtPath name(ntdll, tstrings::fromUtf8(path));
    if (!name.converted()) {
        error = ERROR_PATH_NOT_FOUND;
        return UniqueHandle();
    }
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, name.get(), OBJ_CASE_INSENSITIVE, nullptr, descriptor);
    IO_STATUS_BLOCK io{};
    HANDLE handle = nullptr;
    // FILE_CREATE fails on any existing entry, a link included, so the handle is always of a directory
    // this call made.
    const NTSTATUS status = static_cast<NtCreateFileFn>(createFile)(
        &handle, FILE_LIST_DIRECTORY | FILE_TRAVERSE | SYNCHRONIZE, &attributes, &io, nullptr,
        FILE_ATTRIBUTE_NORMAL, FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_CREATE,
        FILE_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
    if (!NT_SUCCESS(status)) {
        error = static_cast<NtStatusToDosErrorFn>(toWindowsError)(status);
        return UniqueHandle();
    }
    error = ERROR_SUCCESS;
    return UniqueHandle(handle);
}
