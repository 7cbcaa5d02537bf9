// Fuzz target: an .ico checked and turned into icon resources as kiteboot-wrap does with --icon (the check,
// then the resources that replace the stub's icons, laid out in a resource section), and that section read
// back as the output's check reads it. The icon's reader also runs on its own, without the check first, as
// it must be safe to. An icon that passes must give a section that reads back.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "IconFile.h"
#include "InputChecks.h"
#include "ResourceSection.h"
#include "Wrap.h"
#include "WrapError.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const wrap::Bytes ico(data, data + size);
    try {
        wrap::iconResources(wrap::ByteSource::ofBytes("icon 'fuzz'", ico), 101);
    } catch (const wrap::WrapError&) {
    }
    if (ico.empty() || !wrap::iconBytesProblem("fuzz.ico", ico).empty()) return 0;
    try {
        wrap::ResourceList resources;
        wrap::editResources(resources, 4096, ico, {{1, 2, 3, 4}, {{"ProductName", "fuzz"}}});
        const wrap::ResourceSection section = wrap::buildResourceSection(std::move(resources), 0x1000);
        wrap::Bytes memory = section.head;
        memory.resize(section.size());
        wrap::readResourceSection(
            wrap::ByteSource::ofBytes("the bootstrapper", memory), 0x1000,
            [](const wrap::Resource& r) { return wrap::isNumbered(r, wrap::typeRcdata, wrap::payloadId); });
    } catch (const wrap::WrapError& error) {
        std::fprintf(stderr, "an icon that passed gave resources that do not read back: %s\n", error.what());
        std::abort();
    }
    return 0;
}
