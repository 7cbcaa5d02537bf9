#include "windows/common/AppendedPayload.h"

#include <algorithm>
#include <ostream>
#include <vector>

#include "common/share/BootstrapperResources.h"
#include "common/share/errors/ZorError.h"
#include "common/share/hashing/Sha256.h"
#include "common/windows/WinErrorHandling.h"
#include "windows/common/HashingThread.h"
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
    // Two buffers: while the thread hashes one piece, the next is read into the other.
    std::vector<char> buffers[2] = {std::vector<char>(kResourceWritePiece),
                                    std::vector<char>(kResourceWritePiece)};
    HashingThread hashing;
    int slot = 0;
    for (std::uint64_t left = record.length; left > 0; slot ^= 1) {
        std::vector<char>& buffer = buffers[slot];
        hashing.waitForSlot(slot);
        const auto wanted = static_cast<DWORD>(std::min<std::uint64_t>(left, buffer.size()));
        DWORD read = 0;
        if (!ReadFile(file.get(), buffer.data(), wanted, &read, nullptr))
            ZOR_THROW_LAST_ERROR(ReadFile, "ReadFile failed");
        if (read != wanted)
            ZOR_THROW_RUNTIME_ERROR(
                "the payload is cut short: the bootstrapper's file ended while it was read");
        hashing.hash(slot, buffer.data(), read);
        out.write(buffer.data(), read);
        left -= read;
    }
    const Sha256::Digest digest = hashing.finish();
    if (digest != record.sha256)
        ZOR_THROW_RUNTIME_ERROR(
            "the payload does not match its record, so it was changed after wrapping: "
            "SHA-256 recorded "
            << hexDigest(record.sha256) << ", read " << hexDigest(digest));
}
