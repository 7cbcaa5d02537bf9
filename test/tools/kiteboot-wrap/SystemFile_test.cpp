// The file calls standard C++ lacks, on the real system: a name already taken is an answer, any other
// refusal a WrapError with the system's code as its cause.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>

#include "Scratch.h"
#include "SystemFile.h"
#include "WrapError.h"

namespace {

namespace fs = std::filesystem;

using testing_scratch::Scratch;

struct Closer {
    void operator()(std::FILE* file) const {
        if (file) std::fclose(file);
    }
};
using File = std::unique_ptr<std::FILE, Closer>;

TEST(SystemFile, ANewFileIsMadeOnlyUnderAFreeNameAndARefusalCarriesTheSystemsCode) {
    const Scratch scratch;
    const fs::path name = scratch.path() / "setup.exe.00000001.tmp";
    const struct {
        const char* what;
        fs::path path;
        bool made;
        std::string thrown;  // "" when nothing is thrown
    } cases[] = {
        {"a free name", name, true, ""},
        {"the same name again", name, false, ""},
        {"in a directory that does not exist", scratch.path() / "none" / "x.tmp", false,
         "cannot create 'x.tmp'"},
    };
    for (const auto& c : cases) {
        try {
            const File file(wrap::createNewFile(c.path, "cannot create 'x.tmp'"));
            EXPECT_EQ(file != nullptr, c.made) << c.what;
            EXPECT_EQ(c.thrown, "") << c.what;
        } catch (const wrap::WrapError& error) {
            EXPECT_NE(c.thrown, "") << c.what;
            EXPECT_NE(error.cause().value(), 0) << c.what;
            EXPECT_EQ(error.what(), c.thrown + ": " + error.cause().message()) << c.what;
        }
    }
}

TEST(SystemFile, BytesWrittenAreReadBackAtAnOffsetAndFlushed) {
    const Scratch scratch;
    const File file(wrap::createNewFile(scratch.path() / "out.tmp", "cannot create"));
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(std::fwrite("0123456789", 1, 10, file.get()), 10u);
    std::uint8_t buffer[8] = {};
    EXPECT_EQ(wrap::readFileAt(file.get(), 6, buffer, sizeof buffer, "cannot read back"), 4u);
    EXPECT_EQ(std::string(buffer, buffer + 4), "6789");
    EXPECT_EQ(wrap::readFileAt(file.get(), 10, buffer, sizeof buffer, "cannot read back"), 0u);
    EXPECT_NO_THROW(wrap::flushToDisk(file.get(), "cannot write"));
}

}  // namespace
