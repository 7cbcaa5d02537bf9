// The bootstrapper's headers: the stub's, with the fields its plan changes set and the rest as they were.
#include <gtest/gtest.h>

#include <cstdint>

#include "ImageHeaders.h"
#include "ImagePlan.h"
#include "StubModel.h"

namespace {

TEST(ImageHeaders, TheFieldsThePlanChangesAreSetAndNoOtherByte) {
    wrap::PeImage stub = wrap_test::threeSectionStub();
    for (std::size_t i = 0; i < stub.headers.size(); ++i)
        stub.headers[i] = static_cast<std::uint8_t>(i * 7 + 1);
    wrap::putU32(&stub.headers[0x98 + 8], 0x2000);  // SizeOfInitializedData: .rsrc and .reloc, 0x400 + 0x200
    const std::uint32_t optional = 0x98, directories = 0x98 + 112, sections = 0x188;
    const struct {
        const char* field;
        std::uint32_t offset, value;
    } cases[] = {
        {".rsrc's VirtualSize", sections + 40 + 8, 0x2001},
        {".rsrc's SizeOfRawData", sections + 40 + 16, 0x2200},
        {".reloc's VirtualAddress", sections + 80 + 12, 0x6000},
        {".reloc's PointerToRawData", sections + 80 + 20, 0x3a00},
        {".text's VirtualSize, as it was", sections + 8, 0x1234},
        {"SizeOfInitializedData", optional + 8, 0x3e00},
        {"SizeOfImage", optional + 56, 0x7000},
        {"CheckSum", optional + 64, 0},
        {"the resource directory", directories + 2 * 8, 0x3000},
        {"... its size", directories + 2 * 8 + 4, 0x2001},
        {"the certificate directory", directories + 4 * 8, 0},
        {"... its size", directories + 4 * 8 + 4, 0},
        {"the base relocations", directories + 5 * 8, 0x6000},
        {"... their size", directories + 5 * 8 + 4, 0x50},
        {"PointerToSymbolTable", 0x84 + 8, 0},
        {"NumberOfSymbols", 0x84 + 12, 0},
    };
    const wrap::Bytes headers = wrap::imageHeaders(wrap::planImage(stub, 0x2001), stub);
    ASSERT_EQ(headers.size(), stub.headers.size());
    wrap::Bytes unchanged = headers;
    for (const auto& c : cases) {
        EXPECT_EQ(wrap::getU32(&headers[c.offset]), c.value) << c.field;
        wrap::putU32(&unchanged[c.offset], wrap::getU32(&stub.headers[c.offset]));
    }
    // Each section header's four fields: those of the sections before .rsrc come back as they were.
    for (std::uint32_t s = 0; s < 3; ++s)
        for (std::uint32_t field : {8u, 12u, 16u, 20u})
            wrap::putU32(&unchanged[sections + 40 * s + field],
                         wrap::getU32(&stub.headers[sections + 40 * s + field]));
    EXPECT_EQ(unchanged, stub.headers);
    EXPECT_EQ(wrap::checksumOffset(stub), optional + 64);
}

}  // namespace
