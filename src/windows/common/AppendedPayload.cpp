#include "windows/common/AppendedPayload.h"

#include <algorithm>
#include <ostream>

#include "common/share/BootstrapperResources.h"
#include "common/share/errors/ZorError.h"
#include "common/share/hashing/Sha256.h"
#include "common/windows/WinErrorHandling.h"
#include "windows/common/HashingReader.h"
#include "windows/common/ModuleFile.h"
#include "windows/common/Resources.h"

namespace {

std::string hexDigest(const std::array<std::uint8_t, 32>& digest) {
    return Sha256::hex(digest);
}

}  // namespace

std::optional<PayloadRecord> findPayloadRecord(HMODULE module) {
    const Resource resource(kPayloadRecordId, kPayloadResourceType, module);
    if (!resource.exists()) return std::nullopt;
    std::uint32_t size = 0;
    const void* data = resource.getPtr(size);
    return decodePayloadRecord(data, size);
}

void writeAppendedPayload(std::ostream& out, HMODULE module, const PayloadRecord& record) {
    const UniqueHandle file = openModuleFile(module);
    if (!file.owned())
        ZOR_THROW_RUNTIME_ERROR(
            "cannot read the payload: the bootstrapper's own file cannot be opened, or not "
            "proven to be the file it runs from");
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file.get(), &size)) ZOR_THROW_LAST_ERROR(GetFileSizeEx, "GetFileSizeEx failed");
    if (static_cast<std::uint64_t>(size.QuadPart) < record.end())
        ZOR_THROW_RUNTIME_ERROR("the payload is cut short: the bootstrapper's file holds "
                                << size.QuadPart << " bytes, and its payload (SHA-256 "
                                << hexDigest(record.sha256) << ") ends at " << record.end());
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(record.offset);
    if (!SetFilePointerEx(file.get(), position, nullptr, FILE_BEGIN))
        ZOR_THROW_LAST_ERROR(SetFilePointerEx, "SetFilePointerEx failed");
    // Each piece is read and written here and hashed behind on the reader's thread.
    HashingReader reader(file.get(), record.length);
    for (HashingReader::Piece piece = reader.next(); piece.data; piece = reader.next()) {
        out.write(piece.data, static_cast<std::streamsize>(piece.size));
        reader.release();
    }
    if (const DWORD error = reader.error(); error == ERROR_HANDLE_EOF)
        ZOR_THROW_RUNTIME_ERROR("the payload is cut short: the bootstrapper's file ended while it was read");
    else if (error != ERROR_SUCCESS)
        ZOR_THROW_SYS_ERROR(ReadFile, error, "ReadFile failed");
    const Sha256::Digest digest = reader.digest();
    if (digest != record.sha256)
        ZOR_THROW_RUNTIME_ERROR(
            "the payload does not match its record, so it was changed after wrapping: "
            "SHA-256 recorded "
            << hexDigest(record.sha256) << ", read " << hexDigest(digest));
}
