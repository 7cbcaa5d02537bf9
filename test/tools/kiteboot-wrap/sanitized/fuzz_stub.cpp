// Fuzz target: a stub read, laid out, written and checked as kiteboot-wrap does (headers, section table,
// resource tree, the new resource section and the image's plan; then the bootstrapper written in memory, with
// the payload as a resource and after the image, and read back by the output's check). A refusal of the stub
// is a WrapError; a stub that passes must give a bootstrapper that passes the check. Anything else (a crash,
// a sanitizer report, another exception, a failed check of a bootstrapper) is a finding.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "ByteSource.h"
#include "Wrap.h"
#include "WrapError.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const wrap::Bytes stub(data, data + size);
    const wrap::VersionFields version{{1, 2, 3, 4}, {{"ProductName", "fuzz"}}};
    const wrap::ByteSource source = wrap::ByteSource::ofBytes("stub 'fuzz'", stub);
    const wrap::Bytes payload(4096, 0x5a);
    // Both ways to carry the payload: as a resource, and after the image with its record.
    for (const wrap::PayloadForm form : {wrap::PayloadForm::fitting, wrap::PayloadForm::appended}) {
        wrap::WrapPlan plan;
        try {
            plan = wrap::planWrap(source, payload.size(), {}, version, form);
        } catch (const wrap::WrapError&) {
            return 0;
        }
        try {
            wrap::BytesSink out;
            wrap::writeInMemory(plan, source, payload, out);
        } catch (const wrap::WrapError& error) {
            std::fprintf(stderr, "a stub that passed gave a bootstrapper that does not: %s\n", error.what());
            std::abort();
        }
    }
    return 0;
}
