// What makes a stub kiteboot's.
#include <gtest/gtest.h>

#include "AppendedPayload.h"
#include "Stub.h"
#include "common/share/BootstrapperResources.h"
#include "Wrap.h"

namespace {

wrap::Resource stubMark(std::string_view text, std::uint16_t name = kStubMarkName) {
    wrap::Resource mark = wrap::numberedResource(0, name, wrap::Bytes(text.begin(), text.end()));
    mark.type.text = kStubMarkType;
    return mark;
}

TEST(InputChecks, OnlyAKitebootStubWithoutAnInstallerIsAStub) {
    const std::string notKiteboot =
        "stub 's.exe' is not a kiteboot stub (it lacks the mark kiteboot-stub.exe "
        "carries): --stub takes kiteboot-stub.exe, --payload the installer";
    const std::string elevated = "<requestedExecutionLevel level=\"requireAdministrator\"/>";
    const wrap::Resource manifest =
        wrap::numberedResource(24, 1, wrap::Bytes(elevated.begin(), elevated.end()));
    wrap::Resource markNamedByText = stubMark(kStubMarkText);
    markNamedByText.name.text = u"STUB";
    const struct {
        const char* what;
        wrap::ResourceList resources;
        std::string problem;
    } cases[] = {
        {"the stub", {manifest, stubMark(kStubMarkText)}, ""},
        {"no mark", {manifest}, notKiteboot},
        {"no resources", {}, notKiteboot},
        {"the mark's type as a number", {wrap::numberedResource(0, 1, wrap::Bytes(15, 'k'))}, notKiteboot},
        {"another name", {stubMark(kStubMarkText, 2)}, notKiteboot},
        {"a name of text", {markNamedByText}, notKiteboot},
        {"another format",
         {stubMark("kiteboot stub 2\n")},
         "stub 's.exe' is a kiteboot stub of another format ('kiteboot stub 2?'): give the kiteboot-stub.exe "
         "that came with this kiteboot-wrap"},
        {"a bootstrapper",
         {stubMark(kStubMarkText), wrap::numberedResource(wrap::typeRcdata, wrap::payloadId)},
         "stub 's.exe' is a bootstrapper that already carries an installer (resource RT_RCDATA 100), not the "
         "stub: give kiteboot-stub.exe, and the installer itself as --payload"},
        {"a bootstrapper with its installer after the image",
         {stubMark(kStubMarkText), wrap::payloadRecordResource({0x1000, 1, 0x1200})},
         "stub 's.exe' is a bootstrapper that already carries an installer after its image (resource "
         "RT_RCDATA 101), not the stub: give kiteboot-stub.exe, and the installer itself as --payload"},
        {"another RT_RCDATA",
         {manifest, stubMark(kStubMarkText), wrap::numberedResource(wrap::typeRcdata, 101)},
         ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(wrap::stubResourcesProblem("stub 's.exe'", c.resources), c.problem) << c.what;
}

}  // namespace
