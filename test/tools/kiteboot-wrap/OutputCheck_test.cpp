// The output's check of a payload carried after the image, which no sound run can fail.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>

#include "InputFile.h"
#include "OutputCheck.h"
#include "PeLayout.h"
#include "Wrap.h"
#include "WrapError.h"
#include "common/share/hashing/Sha256.h"

namespace {

// A bootstrapper with its payload after the image, written from the real stub (KITEBOOT_TEST_STUB), passes
// the output's check; with its record or the bytes it records changed, it does not, and the check says what.
TEST(OutputCheck, APayloadAfterTheImageMustLieWhereItsRecordSaysAndHashToIt) {
    const char* stubPath = std::getenv("KITEBOOT_TEST_STUB");
    if (!stubPath) GTEST_SKIP() << "KITEBOOT_TEST_STUB does not name the stub";
    const wrap::Bytes stub = wrap::InputFile::readWhole(stubPath);
    const wrap::ByteSource source = wrap::ByteSource::ofBytes("stub", stub);
    wrap::Bytes payload(70000);
    for (std::size_t i = 0; i < payload.size(); ++i)
        payload[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    const wrap::WrapPlan plan =
        wrap::planWrap(source, payload.size(), {}, {{1, 2, 3, 4}, {}}, wrap::PayloadForm::appended);
    wrap::BytesSink sound;
    const wrap::WrittenPayload wrote =
        wrap::writeInMemory(plan, source, payload, sound);  // checked there too

    const std::uint64_t at = plan.appended->offset;
    const std::uint64_t record = plan.image.sections[plan.stub.resourceSection].rawPointer +
                                 plan.resources.dataOffset(wrap::typeRcdata, wrap::payloadRecordId);
    const std::uint64_t certificates = plan.stub.optionalHeader + wrap::pe::optional::directories +
                                       wrap::pe::directory::certificate * wrap::pe::optional::directorySize;
    Sha256 hash;
    hash.add(payload.data(), payload.size());
    const Sha256::Digest digest = hash.finish();
    Sha256::Digest otherDigest = digest;
    otherDigest[0] ^= 0xff;
    const std::string recorded = "the payload it records (70000 bytes at " + wrap::hexNumber(at) + ")";
    const struct {
        const char* what;
        std::function<void(wrap::Bytes&)> damage;
        std::string problem;
    } cases[] = {
        {"as written", [](wrap::Bytes&) {}, ""},
        {"recorded inside the image", [&](wrap::Bytes& b) { wrap::putU32(&b[record + 8], 0x200); },
         "setup: the payload it records (70000 bytes at 0x200) starts inside its image, which ends at " +
             wrap::hexNumber(plan.image.fileSize) + " in the file"},
        {"recorded past the file's end", [&](wrap::Bytes& b) { wrap::putU32(&b[record + 16], 0x20000); },
         "setup: the payload it records (131072 bytes at " + wrap::hexNumber(at) +
             ") passes the end of the file (" + std::to_string(sound.bytes.size()) + " bytes)"},
        {"a certificate table over the payload",
         [&](wrap::Bytes& b) {
             wrap::putU32(&b[certificates], static_cast<std::uint32_t>(at + 16));
             wrap::putU32(&b[certificates + 4], 8);
         },
         "setup: its certificate table at " + wrap::hexNumber(at + 16) + " lies before the end of " +
             recorded + ", so a signature would not follow it"},
        {"a record of another form", [&](wrap::Bytes& b) { b[record] ^= 1; },
         "setup carries its payload's record (resource RT_RCDATA 101) in a form kiteboot-wrap does not "
         "write (56 bytes)"},
        {"another hash recorded", [&](wrap::Bytes& b) { b[record + 24] ^= 0xff; },
         "setup carries a payload after its image whose SHA-256 is " + Sha256::hex(digest) +
             "; its record holds " + Sha256::hex(otherDigest)},
        {"a byte of the payload's first half changed", [&](wrap::Bytes& b) { b[at + 100] ^= 1; },
         "setup does not carry the installer as it was read: the 70000 bytes after its image differ from "
         "those written"},
        {"a byte of its second half changed", [&](wrap::Bytes& b) { b[at + 65600] ^= 1; },
         "setup does not carry the installer as it was read: the 70000 bytes after its image differ from "
         "those written"},
        {"the payload's halves swapped",
         [&](wrap::Bytes& b) {
             std::swap_ranges(b.begin() + static_cast<std::ptrdiff_t>(at),
                              b.begin() + static_cast<std::ptrdiff_t>(at + 35000),
                              b.begin() + static_cast<std::ptrdiff_t>(at + 35000));
         },
         "setup does not carry the installer as it was read: the 70000 bytes after its image differ from "
         "those written"},
    };
    for (const auto& c : cases) {
        wrap::Bytes damaged = sound.bytes;
        c.damage(damaged);
        try {
            wrap::checkBootstrapper(wrap::ByteSource::ofBytes("setup", damaged),
                                    wrap::ByteSource::ofBytes("the payload", payload), wrote);
            EXPECT_EQ(c.problem, "") << c.what;
        } catch (const wrap::WrapError& error) {
            EXPECT_EQ(error.what(), c.problem) << c.what;
        }
    }
}

}  // namespace
