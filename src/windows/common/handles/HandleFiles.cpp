#include "windows/common/handles/HandleFiles.h"

#include <winternl.h>

#include <cstddef>
#include <cstring>
#include <vector>

#include "windows/common/DllFunction.h"

namespace HandleFiles {

namespace {

using NtCreateFileFn = NTSTATUS(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK,
                                        PLARGE_INTEGER, ULONG, ULONG, ULONG, ULONG, PVOID, ULONG);
using NtSetInformationFileFn = NTSTATUS(NTAPI*)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG, ULONG);
using NtQueryDirectoryFileFn = NTSTATUS(NTAPI*)(HANDLE, HANDLE, PVOID, PVOID, PIO_STATUS_BLOCK, PVOID, ULONG,
                                                ULONG, BOOLEAN, PUNICODE_STRING, BOOLEAN);
using NtQueryVolumeInformationFileFn = NTSTATUS(NTAPI*)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG, ULONG);
using NtStatusToDosErrorFn = ULONG(NTAPI*)(NTSTATUS);

// Information classes of the calls above (wdm.h / ntifs.h values).
constexpr ULONG kFileRenameInformation = 10;
constexpr ULONG kFileDispositionInformation = 13;
constexpr ULONG kFileBasicInformation = 4;
constexpr ULONG kFileDirectoryInformation = 1;
constexpr ULONG kFileFsDeviceInformation = 4;
constexpr ULONG kFileRemoteDevice = 0x10;
constexpr NTSTATUS kNoMoreFiles = static_cast<NTSTATUS>(0x80000006);
constexpr NTSTATUS kNoSuchFile = static_cast<NTSTATUS>(0xC000000F);  // a pattern that matches nothing
// GetFileInformationByHandleEx's class for FILE_ID_INFO (Windows 8 and later).
constexpr auto kFileIdInfo = static_cast<FILE_INFO_BY_HANDLE_CLASS>(18);

// FILE_ID_INFO: the volume's serial number and the 128-bit file id.
struct FileIdInformation {
    ULONGLONG volumeSerialNumber;
    unsigned char fileId[16];
};

// ntdll's file calls, bound once.
struct Ntdll {
    Ntdll()
        : library("ntdll"),
          createFile(library, "NtCreateFile", Binding::Strict),
          setInformation(library, "NtSetInformationFile", Binding::Strict),
          queryDirectory(library, "NtQueryDirectoryFile", Binding::Strict),
          queryVolume(library, "NtQueryVolumeInformationFile", Binding::Strict),
          toWindowsError(library, "RtlNtStatusToDosError", Binding::Strict) {}

    Dll library;
    DllFunction<NtCreateFileFn> createFile;
    DllFunction<NtSetInformationFileFn> setInformation;
    DllFunction<NtQueryDirectoryFileFn> queryDirectory;
    DllFunction<NtQueryVolumeInformationFileFn> queryVolume;
    DllFunction<NtStatusToDosErrorFn> toWindowsError;
};

const Ntdll& ntdll() {
    static const Ntdll bound;
    return bound;
}

DWORD errorOf(NTSTATUS status) {
    return NT_SUCCESS(status) ? ERROR_SUCCESS
                              : static_cast<NtStatusToDosErrorFn>(ntdll().toWindowsError)(status);
}

DWORD lastErrorOf(BOOL succeeded) {
    return succeeded ? ERROR_SUCCESS : GetLastError();
}

DWORD setInformation(HANDLE file, void* information, std::size_t size, ULONG informationClass) {
    IO_STATUS_BLOCK io{};
    return errorOf(static_cast<NtSetInformationFileFn>(ntdll().setInformation)(
        file, &io, information, static_cast<ULONG>(size), informationClass));
}

// FILE_DIRECTORY_INFORMATION: the fixed part of each listed entry.
struct DirectoryEntry {
    ULONG nextEntryOffset;
    ULONG fileIndex;
    LARGE_INTEGER creationTime;
    LARGE_INTEGER lastAccessTime;
    LARGE_INTEGER lastWriteTime;
    LARGE_INTEGER changeTime;
    LARGE_INTEGER endOfFile;
    LARGE_INTEGER allocationSize;
    ULONG fileAttributes;
    ULONG fileNameLength;
    WCHAR fileName[1];
};

// Grow and retry: query(buffer, size) returns the length of the text it wrote without its terminating
// zero, the size it needs (zero included) when the buffer is too small, or 0 with the last error set.
template <typename Query>
DWORD sizedText(Query query, std::wstring& text) {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = query(buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return GetLastError();
        if (length < buffer.size()) {
            buffer.resize(length);
            text = std::move(buffer);
            return ERROR_SUCCESS;
        }
        buffer.assign(length, L'\0');
    }
}

// What the system's Win32 normalisation makes of path, as every call given the path does.
DWORD fullPathName(const std::wstring& path, std::wstring& full) {
    return sizedText(
        [&](wchar_t* buffer, DWORD size) { return GetFullPathNameW(path.c_str(), size, buffer, nullptr); },
        full);
}

bool isSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

bool isLetter(wchar_t c) {
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
}

}  // namespace

DWORD open(HANDLE parent, const std::wstring& name, ACCESS_MASK access, ULONG share, ULONG disposition,
           ULONG options, UniqueHandle& file, PSECURITY_DESCRIPTOR descriptor) {
    UNICODE_STRING text;
    text.Buffer = const_cast<PWSTR>(name.c_str());
    text.Length = text.MaximumLength = static_cast<USHORT>(name.size() * sizeof(wchar_t));
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, parent, descriptor);
    IO_STATUS_BLOCK io{};
    HANDLE handle = nullptr;
    const NTSTATUS status = static_cast<NtCreateFileFn>(ntdll().createFile)(
        &handle, access | SYNCHRONIZE, &attributes, &io, nullptr, FILE_ATTRIBUTE_NORMAL, share, disposition,
        options | FILE_OPEN_REPARSE_POINT | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
    if (NT_SUCCESS(status)) file.reset(handle);
    return errorOf(status);
}

DWORD openDirectory(const std::wstring& path, ACCESS_MASK access, UniqueHandle& directory) {
    HANDLE handle = CreateFileW(path.c_str(), access, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return GetLastError();
    directory.reset(handle);
    return ERROR_SUCCESS;
}

DWORD reopen(HANDLE file, ACCESS_MASK access, ULONG share, UniqueHandle& reopened) {
    // An empty name relative to a file's handle names that file itself.
    return open(file, std::wstring(), access, share, FILE_OPEN, 0, reopened);
}

DWORD rename(HANDLE file, HANDLE directory, const std::wstring& name) {
    // FILE_RENAME_INFORMATION with the name in place of its one-character array.
    struct RenameInformation {
        BOOLEAN replaceIfExists;
        HANDLE rootDirectory;
        ULONG fileNameLength;
        WCHAR fileName[1];
    };
    std::vector<unsigned char> buffer(sizeof(RenameInformation) + name.size() * sizeof(wchar_t));
    auto* information = reinterpret_cast<RenameInformation*>(buffer.data());
    information->replaceIfExists = FALSE;
    information->rootDirectory = directory;
    information->fileNameLength = static_cast<ULONG>(name.size() * sizeof(wchar_t));
    name.copy(information->fileName, name.size());
    return setInformation(file, information, buffer.size(), kFileRenameInformation);
}

DWORD markForDeletion(HANDLE file) {
    BOOLEAN deleteFile = TRUE;
    return setInformation(file, &deleteFile, sizeof(deleteFile), kFileDispositionInformation);
}

DWORD setAttributes(HANDLE file, DWORD attributes) {
    FILE_BASIC_INFO basic{};  // zero times: unchanged
    basic.FileAttributes = attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
    return setInformation(file, &basic, sizeof(basic), kFileBasicInformation);
}

DWORD list(HANDLE directory, std::vector<Entry>& entries) {
    return list(directory, std::wstring(), static_cast<std::size_t>(-1), entries);
}

DWORD list(HANDLE directory, const std::wstring& pattern, std::size_t limit, std::vector<Entry>& entries) {
    // Through a handle of its own: a handle's listing may be kept from its first read (Wine keeps it).
    UniqueHandle lister;
    if (const DWORD error = reopen(directory, FILE_LIST_DIRECTORY, kShareAll, lister)) return error;
    // The pattern counts on the first read only; the listing keeps it.
    UNICODE_STRING mask;
    mask.Buffer = const_cast<PWSTR>(pattern.c_str());
    mask.Length = mask.MaximumLength = static_cast<USHORT>(pattern.size() * sizeof(wchar_t));
    std::vector<Entry> found;
    std::vector<ULONGLONG> buffer(8192);  // 64 KiB, aligned for the entries
    for (BOOLEAN restart = TRUE; found.size() < limit; restart = FALSE) {
        IO_STATUS_BLOCK io{};
        const NTSTATUS status = static_cast<NtQueryDirectoryFileFn>(ntdll().queryDirectory)(
            lister.get(), nullptr, nullptr, nullptr, &io, buffer.data(),
            static_cast<ULONG>(buffer.size() * sizeof(ULONGLONG)), kFileDirectoryInformation, FALSE,
            pattern.empty() ? nullptr : &mask, restart);
        if (status == kNoMoreFiles || (status == kNoSuchFile && restart)) break;
        if (!NT_SUCCESS(status)) return errorOf(status);
        const auto* bytes = reinterpret_cast<const unsigned char*>(buffer.data());
        for (ULONG offset = 0; found.size() < limit;) {
            const auto* entry = reinterpret_cast<const DirectoryEntry*>(bytes + offset);
            std::wstring name(entry->fileName, entry->fileNameLength / sizeof(wchar_t));
            if (name != L"." && name != L"..") found.push_back({std::move(name), entry->fileAttributes});
            if (entry->nextEntryOffset == 0) break;
            offset += entry->nextEntryOffset;
        }
    }
    entries = std::move(found);
    return ERROR_SUCCESS;
}

DWORD identify(HANDLE file, Identity& identity) {
    Identity found;
    FileIdInformation wide{};
    if (GetFileInformationByHandleEx(file, kFileIdInfo, &wide, sizeof(wide))) {
        found.wide = true;
        found.volume = wide.volumeSerialNumber;
        std::memcpy(found.id, wide.fileId, sizeof(found.id));
    } else {
        BY_HANDLE_FILE_INFORMATION information{};
        if (!GetFileInformationByHandle(file, &information)) return GetLastError();
        found.volume = information.dwVolumeSerialNumber;
        const ULONGLONG index =
            (static_cast<ULONGLONG>(information.nFileIndexHigh) << 32) | information.nFileIndexLow;
        std::memcpy(found.id, &index, sizeof(index));
    }
    identity = found;
    return ERROR_SUCCESS;
}

bool sameFile(const Identity& a, const Identity& b) {
    return a.wide == b.wide && a.volume == b.volume && std::memcmp(a.id, b.id, sizeof(a.id)) == 0;
}

DWORD finalPath(HANDLE file, std::wstring& path) {
    std::wstring final;
    const DWORD error = sizedText(
        [&](wchar_t* buffer, DWORD size) {
            return GetFinalPathNameByHandleW(file, buffer, size, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        },
        final);
    if (error == ERROR_SUCCESS) path = dosFormOfFinalPath(final);
    return error;
}

DWORD checkFinalPath(HANDLE file, const std::wstring& expected) {
    std::wstring actual;
    if (const DWORD error = finalPath(file, actual)) return error;
    const bool same = CompareStringOrdinal(actual.c_str(), static_cast<int>(actual.size()), expected.c_str(),
                                           static_cast<int>(expected.size()), TRUE) == CSTR_EQUAL;
    return same ? ERROR_SUCCESS : ERROR_CANT_ACCESS_FILE;
}

DWORD checkNamesFile(const std::wstring& path, HANDLE file) {
    if (isDevicePath(path)) return ERROR_BAD_PATHNAME;
    std::wstring normalised;
    if (const DWORD error = fullPathName(path, normalised)) return error;
    if (normalised != path) return ERROR_BAD_PATHNAME;
    UniqueHandle named(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (named.get() == INVALID_HANDLE_VALUE) return GetLastError();
    Identity opened;
    Identity held;
    if (const DWORD error = identify(named.get(), opened)) return error;
    if (const DWORD error = identify(file, held)) return error;
    return sameFile(opened, held) ? ERROR_SUCCESS : ERROR_CANT_ACCESS_FILE;
}

DWORD checkPlainSingleFile(HANDLE file) {
    FILE_STANDARD_INFO standard{};
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (const DWORD error =
            lastErrorOf(GetFileInformationByHandleEx(file, FileStandardInfo, &standard, sizeof(standard)) &&
                        GetFileInformationByHandleEx(file, FileAttributeTagInfo, &tag, sizeof(tag))))
        return error;
    const bool plain = !standard.Directory && standard.NumberOfLinks == 1 &&
                       (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
    return plain ? ERROR_SUCCESS : ERROR_CANT_ACCESS_FILE;
}

DWORD checkVolumeKeepsAccessLists(HANDLE file) {
    DWORD flags = 0;
    if (!GetVolumeInformationByHandleW(file, nullptr, 0, nullptr, nullptr, &flags, nullptr, 0))
        return GetLastError();
    // FILE_FS_DEVICE_INFORMATION: the device type and its characteristics.
    struct DeviceInformation {
        DWORD deviceType;
        ULONG characteristics;
    } device{};
    IO_STATUS_BLOCK io{};
    if (const DWORD error = errorOf(static_cast<NtQueryVolumeInformationFileFn>(ntdll().queryVolume)(
            file, &io, &device, sizeof(device), kFileFsDeviceInformation)))
        return error;
    const bool usable =
        (flags & FILE_PERSISTENT_ACLS) != 0 && (device.characteristics & kFileRemoteDevice) == 0;
    return usable ? ERROR_SUCCESS : ERROR_NOT_SUPPORTED;
}

std::wstring dosFormOfFinalPath(const std::wstring& finalPath) {
    const std::wstring unc = L"\\\\?\\UNC\\";
    const std::wstring local = L"\\\\?\\";
    if (finalPath.compare(0, unc.size(), unc) == 0) return L"\\\\" + finalPath.substr(unc.size());
    // Only a drive letter, its colon and a separator after the prefix have a form without it.
    const bool drive = finalPath.size() >= local.size() + 3 &&
                       finalPath.compare(0, local.size(), local) == 0 && isLetter(finalPath[local.size()]) &&
                       finalPath[local.size() + 1] == L':' && finalPath[local.size() + 2] == L'\\';
    return drive ? finalPath.substr(local.size()) : finalPath;
}

bool isDevicePath(const std::wstring& path) {
    if (path.size() < 4 || !isSeparator(path[0]) || !isSeparator(path[3])) return false;
    return (isSeparator(path[1]) && (path[2] == L'?' || path[2] == L'.')) ||
           (path[1] == L'?' && path[2] == L'?');
}

}  // namespace HandleFiles
