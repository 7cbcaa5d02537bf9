// Fuzz target: an .ico checked and turned into icon resources as kiteboot-wrap does with --icon (the check,
// then the resources that replace the stub's icons, laid out in a resource section).
#include <cstddef>
#include <cstdint>

#include "InputChecks.h"
#include "ResourceSection.h"
#include "Wrap.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const wrap::Bytes ico(data, data + size);
    if (ico.empty() || !wrap::iconBytesProblem("fuzz.ico", ico).empty()) return 0;
    wrap::ResourceList resources;
    wrap::editResources(resources, 4096, ico, {{1, 2, 3, 4}, {{"ProductName", "fuzz"}}});
    wrap::buildResourceSection(std::move(resources), 0x1000);
    return 0;
}
