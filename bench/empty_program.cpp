// An empty Windows GUI program: what any program start costs. Padded with an overlay, it is also the
// benchmark's payload, a program that ends at once.
#include "common/windows/WinHeaders.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    return 0;
}
