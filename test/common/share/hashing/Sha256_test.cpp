// SHA-256 against the examples of FIPS 180-4 (NIST's "Cryptographic Standards and Guidelines: Examples
// with Intermediate Values").
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "common/share/hashing/Sha256.h"

namespace {

std::string sha256Of(const std::string& text, std::size_t piece) {
    Sha256 hash;
    for (std::size_t at = 0; at < text.size(); at += piece)
        hash.add(text.data() + at, std::min(piece, text.size() - at));
    return Sha256::hex(hash.finish());
}

TEST(Sha256, TheStandardsExamplesInPiecesOfAnySize) {
    const struct {
        std::string text;
        const char* digest;
    } cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",  // 56 bytes: the length needs a block
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmno"
         "pq"
         "rstnopqrstu",
         "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto& c : cases)
        for (std::size_t piece : {1u, 63u, 64u, 65u, 1000000u})
            EXPECT_EQ(sha256Of(c.text, piece), c.digest) << c.text.size() << " bytes in pieces of " << piece;
}

}  // namespace
