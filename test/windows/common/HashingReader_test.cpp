#include <gtest/gtest.h>

#include <string>

#include "support/TempDir.h"
#include "windows/common/HashingReader.h"

namespace {

std::string sha256Hex(const std::string& bytes) {
    Sha256 hash;
    hash.add(bytes.data(), bytes.size());
    return Sha256::hex(hash.finish());
}

}  // namespace

// The pieces given are the file's bytes in order and the digest is theirs, whatever their count: none,
// fewer than the ring holds, and laps of the ring with a short last piece, read from where the file's
// position stood. Every piece differs, so a place of the ring read into again before its piece was hashed
// would show in the digest. A file that ends before the length asked ends the pieces with ERROR_HANDLE_EOF.
TEST(HashingReader, GivesTheBytesItHashedInOrder) {
    constexpr std::size_t kRing = HashingReader::kPieceSize * HashingReader::kPieceCount;
    constexpr std::size_t kSkipped = 3;
    for (const std::size_t length : {std::size_t{0}, std::size_t{1000}, 3 * kRing + 12345}) {
        for (const bool cutShort : {false, true}) {
            SCOPED_TRACE(std::to_string(length) +
                         (cutShort ? " bytes asked of a file one byte shorter" : " bytes"));
            if (cutShort && length == 0) continue;
            std::string bytes(kSkipped + length - (cutShort ? 1 : 0), '\0');
            for (std::size_t i = 0; i < bytes.size(); ++i)
                bytes[i] = static_cast<char>(i * 131 + (i >> 12));
            testing_support::TempDir dir("kbhash");
            testing_support::writeFile(dir / "payload", bytes);
            const HANDLE file = CreateFileA((dir / "payload").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                            OPEN_EXISTING, 0, nullptr);
            ASSERT_NE(file, INVALID_HANDLE_VALUE);
            const UniqueHandle held(file);
            ASSERT_NE(SetFilePointer(file, kSkipped, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);

            HashingReader reader(file, length);
            std::string given;
            for (HashingReader::Piece piece = reader.next(); piece.data; piece = reader.next()) {
                given.append(piece.data, piece.size);
                reader.release();
            }
            if (cutShort) {
                EXPECT_EQ(reader.error(), static_cast<DWORD>(ERROR_HANDLE_EOF));
                EXPECT_LT(given.size(), length);
                EXPECT_EQ(given, bytes.substr(kSkipped, given.size()));
                continue;
            }
            EXPECT_EQ(reader.error(), static_cast<DWORD>(ERROR_SUCCESS));
            EXPECT_EQ(given, bytes.substr(kSkipped));
            EXPECT_EQ(Sha256::hex(reader.digest()), sha256Hex(bytes.substr(kSkipped)));
        }
    }
}
