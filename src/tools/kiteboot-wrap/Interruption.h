// Ctrl+C, a closed terminal and termination requests (SIGINT, SIGHUP, SIGTERM; on Windows Ctrl+C,
// Ctrl+Break and a closed console) remove the temporary file being written, if any, and then end the
// program as the interruption itself would have: a shell sees the signal (status 128+n) and stops.
#pragma once

#include <filesystem>

namespace wrap {

// Installs the handlers; a signal the program was started with ignored (nohup) stays ignored.
void catchInterruptions();

// While one is alive, an interruption waits for it to end, so that the file and the name the handler
// removes change together (its creation with the name set, its rename with the name cleared).
class InterruptionsDeferred {
public:
    InterruptionsDeferred();
    ~InterruptionsDeferred();
    InterruptionsDeferred(const InterruptionsDeferred&) = delete;
    InterruptionsDeferred& operator=(const InterruptionsDeferred&) = delete;
};

// The file an interruption removes: set while a temporary output exists, cleared when it is renamed into
// place or removed. Called while interruptions are deferred.
void removeOnInterruption(const std::filesystem::path& file);
void keepOnInterruption();

}  // namespace wrap
