// Fuzz target: a stub read and laid out as kiteboot-wrap does before it writes (headers, section table,
// resource tree, the new resource section and the image's plan). A refusal is a WrapError; anything else
// (a crash, a sanitizer report, another exception) is a finding.
#include <cstddef>
#include <cstdint>

#include "ByteSource.h"
#include "Wrap.h"
#include "WrapError.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const wrap::Bytes stub(data, data + size);
    const wrap::VersionFields version{{1, 2, 3, 4}, {{"ProductName", "fuzz"}}};
    try {
        wrap::planWrap(wrap::ByteSource::ofBytes("stub 'fuzz'", stub), 4096, {}, version);
    } catch (const wrap::WrapError&) {
    }
    return 0;
}
