// The stub a bootstrapper is written from, and what makes it kiteboot's: its mark, and no installer yet.
#pragma once

#include <string>

#include "PeImage.h"
#include "ResourceTree.h"

namespace wrap {

struct Stub {
    PeImage image;
    ResourceList resources;  // its resource section's
};

// Reads the stub's headers and resource tree, nothing else. Throws WrapError naming file's owner when it is
// not an executable kiteboot-wrap can write from or one Windows would not start (requireStartable).
Stub readStub(const ByteSource& file);

// "" when the resources are those of a kiteboot stub: kiteboot's mark of this format, no payload
// (RT_RCDATA 100, a bootstrapper given as the stub) and a manifest that asks for administrator rights
// (manifestProblem); otherwise the sentence that says which.
// stub names the file in messages ("stub 'setup.exe'").
std::string stubResourcesProblem(const std::string& stub, const ResourceList& resources);

}  // namespace wrap
