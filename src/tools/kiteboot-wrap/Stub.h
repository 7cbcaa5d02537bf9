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

// Throws WrapError naming the file when it is not an executable kiteboot-wrap can write from.
Stub readStub(const std::string& file);

// "" when the resources are those of a kiteboot stub: kiteboot's mark of this format and no payload
// (RT_RCDATA 100, a bootstrapper given as the stub); otherwise the sentence that says which.
std::string stubResourcesProblem(const std::string& file, const ResourceList& resources);

}  // namespace wrap
