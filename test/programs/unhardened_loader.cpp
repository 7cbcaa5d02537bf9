// A program that loads a library by its bare name with the default search order, as a program that does
// not harden its library search would: unhardened_loader.exe <library name>. Exits 0 when the library
// loaded, 1 when it did not.
#include "common/windows/WinHeaders.h"

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) return 2;
    return LoadLibraryW(argv[1]) ? 0 : 1;
}
