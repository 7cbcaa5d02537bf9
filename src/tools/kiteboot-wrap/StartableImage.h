// What Windows needs of an executable to start it as a bootstrapper: a GUI program, not a DLL, whose
// sections follow one another in order, aligned and within SizeOfImage, whose data directories lie within
// the image, whose imports can be resolved and whose unwind information the system can read, and whose
// manifest asks for administrator rights. Checked on the stub before anything is
// written, so that a damaged stub is refused for what is wrong with it, and on the bootstrapper written
// from it before it takes the output's name.
#pragma once

#include <string>

#include "ByteSource.h"
#include "PeImage.h"
#include "ResourceTree.h"

namespace wrap {

// Throws WrapError naming file's owner and what is wrong when Windows would not start the image, or when
// a data directory other than the resources and the base relocations lies in the resource section or after
// it (kiteboot-wrap rewrites and moves those sections, so such a directory would point at other bytes).
// file is what image was read from.
void requireStartable(const PeImage& image, const ByteSource& file);

// "" when the resources hold a manifest (RT_MANIFEST 1) and every one of that name asks for administrator
// rights (requestedExecutionLevel "requireAdministrator"); otherwise the sentence that says which is not
// so. owner names the file ("stub 'setup.exe'").
std::string manifestProblem(const std::string& owner, const ResourceList& resources);

// Whether a manifest's text asks for administrator rights: a requestedExecutionLevel element whose level
// attribute is requireAdministrator.
bool asksForAdministrator(const Bytes& manifest);

}  // namespace wrap
