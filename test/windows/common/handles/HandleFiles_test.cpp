// File identities, final paths and the check that a path names a held file.
#include <gtest/gtest.h>

#include <cstring>
#include <iostream>
#include <string>

#include "common/windows/WinAutoHandle.h"
#include "common/windows/WinHeaders.h"
#include "support/TempDir.h"
#include "windows/common/handles/HandleFiles.h"

namespace {

using testing_support::TempDir;

TEST(FinalPath, TheDosFormIsThePathWithoutItsLongPathPrefix) {
    EXPECT_EQ(HandleFiles::dosFormOfFinalPath(L"\\\\?\\C:\\Users\\A\\Temp"), L"C:\\Users\\A\\Temp");
    EXPECT_EQ(HandleFiles::dosFormOfFinalPath(L"\\\\?\\UNC\\server\\share\\t"), L"\\\\server\\share\\t");
    EXPECT_EQ(HandleFiles::dosFormOfFinalPath(L"C:\\plain"), L"C:\\plain");
    // Forms without a drive letter have no DOS form and are kept whole.
    for (const wchar_t* kept : {L"\\\\?\\Volume{0b6c1d2e-0000-0000-0000-100000000000}\\Temp",
                                L"\\\\?\\GLOBALROOT\\Device\\X\\t", L"\\\\?\\C:", L"\\\\?\\1:\\t"})
        EXPECT_EQ(HandleFiles::dosFormOfFinalPath(kept), kept);
}

// Identities built in memory: one file only when the kind, the volume and the whole id agree. On ReFS the
// 64-bit index (the first 8 bytes here) of two files may be equal while their 128-bit ids differ.
TEST(FileIdentity, OneFileOnlyWhenKindVolumeAndTheWhole128BitIdAgree) {
    HandleFiles::Identity wide;
    wide.wide = true;
    wide.volume = 0x1122334455667788ull;
    for (unsigned char i = 0; i < 16; ++i)
        wide.id[i] = static_cast<unsigned char>(i + 1);
    HandleFiles::Identity upperHalf = wide;
    upperHalf.id[15] ^= 0x80;
    HandleFiles::Identity otherVolume = wide;
    otherVolume.volume ^= 1ull << 40;
    HandleFiles::Identity narrow;
    narrow.volume = 0x55667788u;
    std::memcpy(narrow.id, wide.id, 8);
    HandleFiles::Identity narrowAsWide = narrow;
    narrowAsWide.wide = true;
    HandleFiles::Identity otherIndex = narrow;
    otherIndex.id[0] ^= 1;
    const struct {
        const char* what;
        HandleFiles::Identity a, b;
        bool same;
    } rows[] = {
        {"the same 128-bit identity", wide, wide, true},
        {"64-bit index equal, 128-bit id not", wide, upperHalf, false},
        {"another volume", wide, otherVolume, false},
        {"the same 64-bit identity", narrow, narrow, true},
        {"another 64-bit index", narrow, otherIndex, false},
        {"one of each kind", narrow, narrowAsWide, false},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(HandleFiles::sameFile(row.a, row.b), row.same) << row.what;
        EXPECT_EQ(HandleFiles::sameFile(row.b, row.a), row.same) << row.what;
    }
}

// Real files: two handles to one file are one identity, two files are two.
TEST(FileIdentity, HandlesToOneFileShareTheirIdentityAndNoOtherFileHasIt) {
    const TempDir parent("kbident");
    testing_support::writeFile(parent / "a.txt", "a");
    testing_support::writeFile(parent / "b.txt", "b");
    const auto identityOf = [&](const char* name) {
        UniqueHandle file(CreateFileA((parent / name).c_str(), FILE_READ_ATTRIBUTES, 7, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
        HandleFiles::Identity identity;
        EXPECT_EQ(HandleFiles::identify(file.get(), identity), static_cast<DWORD>(ERROR_SUCCESS)) << name;
        return identity;
    };
    const HandleFiles::Identity a = identityOf("a.txt");
    EXPECT_TRUE(HandleFiles::sameFile(a, identityOf("a.txt")));
    EXPECT_FALSE(HandleFiles::sameFile(a, identityOf("b.txt")));
    std::cout << "identity of a file under this system: "
              << (a.wide ? "FILE_ID_INFO (128 bits)" : "file index (64 bits)") << std::endl;
}

}  // namespace
