// A run the launcher refuses to go on with, for a reason it has checked (no administrator rights, a secure
// directory that holds more than the payload, a start path that does not name what is held): recorded as
// its text alone, at ERROR, where run() catches it: before the secure directory is removed, as the records
// of a run have always told a refusal. A failure's record reports the exception and where it came from,
// after the directory is gone. Both end the run with exit code -1.
#pragma once

#include <stdexcept>
#include <string>

class Refusal : public std::runtime_error {
public:
    explicit Refusal(const std::string& text) : std::runtime_error(text) {}
};
