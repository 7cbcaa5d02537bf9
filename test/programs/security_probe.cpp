// Writes what this process learns about its own token to the file named by its first argument, as one
// line "class=<operating-system class> elevated=<0|1> admin=<0|1>", or "error: <what>" when a query throws.
#include <exception>
#include <fstream>

#include "windows/common/Security.h"
#include "windows/common/SysInfo.h"

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    std::ofstream out(argv[1], std::ios::binary);
    try {
        const bool elevated = security::isProcessElevated();
        const bool admin = security::isUserAdmin();
        out << "class=" << SysInfo::getOsVersionClass() << " elevated=" << elevated << " admin=" << admin;
    } catch (const std::exception& error) {
        out << "error: " << error.what();
        return 1;
    }
    return out ? 0 : 1;
}
