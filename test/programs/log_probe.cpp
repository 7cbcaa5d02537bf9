// Writes log records through the system's logger, one per argument ("<level>:<message>"), then exits 0.
#include <cstdlib>
#include <string>

#include "common/share/logging/Logger.h"

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        const std::size_t colon = argument.find(':');
        const int level = std::atoi(argument.substr(0, colon).c_str());
        ZOR_LOG(static_cast<LogLevel>(level), argument.substr(colon + 1));
    }
    return 0;
}
