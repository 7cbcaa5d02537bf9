// The model of a stub, as the reader makes it, that the table tests of the layout start from.
#pragma once

#include "PeImage.h"

namespace wrap_test {

// .text, .rsrc, .reloc; sections aligned to 4 KiB, file to 512.
inline wrap::PeImage threeSectionStub() {
    wrap::PeImage stub;
    stub.headers.assign(0x400, 0);
    stub.coffHeader = 0x84;
    stub.optionalHeader = 0x98;
    stub.sectionTable = 0x188;
    stub.sectionAlignment = 0x1000;
    stub.fileAlignment = 0x200;
    stub.directories.resize(16);
    stub.directories[5] = {0x4000, 0x50};
    stub.sections = {{".text", 0x1234, 0x1000, 0x1400, 0x400, 0},
                     {".rsrc", 0x300, 0x3000, 0x400, 0x1800, 0},
                     {".reloc", 0x50, 0x4000, 0x200, 0x1c00, 0}};
    stub.resourceSection = 1;
    stub.characteristics = 0x22;
    stub.subsystem = 2;
    stub.sizeOfImage = 0x5000;
    stub.directories[1] = {0x2000, 0x28};
    stub.directories[2] = {0x3000, 0x300};
    return stub;
}

}  // namespace wrap_test
