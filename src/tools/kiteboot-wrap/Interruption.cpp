#include "Interruption.h"

#include <csignal>

#include "WrapError.h"

namespace wrap {

namespace {

volatile std::sig_atomic_t interrupted = 0;

extern "C" void noteInterruption(int) {
    interrupted = 1;
}

}  // namespace

void catchInterruptions() {
    std::signal(SIGINT, noteInterruption);
    std::signal(SIGTERM, noteInterruption);
}

void stopIfInterrupted() {
    if (interrupted) throw WrapError("interrupted; no output was written");
}

}  // namespace wrap
