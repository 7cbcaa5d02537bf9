// What tells an executable apart from other files, and the reader's refusal of one that is not.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "PeImage.h"
#include "WrapError.h"

namespace {

using wrap::Bytes;

// An MZ header whose pointer (at 60) is pe; at 64 the PE signature, a COFF header for AMD64 and the
// optional header's magic, in the first `size` bytes.
Bytes executable(std::uint32_t pe, std::size_t size) {
    Bytes file(64 + 4 + 20 + 2, 0);
    file[0] = 'M';
    file[1] = 'Z';
    wrap::putU32(&file[60], pe);
    file[64] = 'P';
    file[65] = 'E';
    wrap::putU16(&file[68], 0x8664);
    wrap::putU16(&file[88], 0x20b);
    file.resize(size);
    return file;
}

TEST(PeImage, AnExecutableHasAnMzHeaderLeadingToAPeSignatureAndAllElseIsRefused) {
    const struct {
        const char* what;
        Bytes file;
        std::string problem;
    } cases[] = {
        {"an executable", executable(64, 90), ""},
        {"empty", {}, "no MZ header"},
        {"text", Bytes(100, 'x'), "no MZ header"},
        {"an MZ header cut short", executable(64, 63), "no MZ header"},
        {"a pointer to the MZ header", executable(0, 90), "no PE header"},
        {"a pointer past the end", executable(0x1000, 90), "no PE header"},
        {"a COFF header cut short", executable(64, 89), "no PE header"},
    };
    for (const auto& c : cases) {
        const wrap::ByteSource file = wrap::ByteSource::ofBytes("stub 's.exe'", c.file);
        EXPECT_EQ(wrap::executableProblem(file), c.problem) << c.what;
        if (!c.problem.empty()) {
            try {
                wrap::readPeImage(file);
                ADD_FAILURE() << c.what << " was read";
            } catch (const wrap::WrapError& error) {
                EXPECT_STREQ(error.what(), "stub 's.exe' is not a Windows executable") << c.what;
            }
        }
    }
    const wrap::CoffHeader coff = wrap::readCoffHeader(wrap::ByteSource::ofBytes("x", executable(64, 90)));
    EXPECT_EQ(coff.offset, 68u);
    EXPECT_EQ(coff.machine, 0x8664);
    EXPECT_TRUE(coff.isPe32Plus());
}

}  // namespace
