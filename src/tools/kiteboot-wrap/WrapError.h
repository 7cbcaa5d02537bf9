// kiteboot-wrap fails in one of two ways. The problems of its inputs (options, files, texts) are collected
// and reported all at once: each check returns the sentence that names the input and says what is wrong,
// "" when nothing is (InputChecks.h), and inputProblems gathers them. Every other failure throws WrapError:
// one sentence, printed after "kiteboot-wrap: ", with the system's code as its cause when the system
// refused something. Nothing of the standard library's own failures leaves kiteboot-wrap unconverted.
#pragma once

#include <cerrno>
#include <stdexcept>
#include <string>
#include <system_error>

namespace wrap {

class WrapError : public std::runtime_error {
public:
    explicit WrapError(const std::string& sentence, std::error_code cause = {})
        : std::runtime_error(sentence), cause_(cause) {}

    // The system's code behind the failure; none (0) when kiteboot-wrap found the fault itself.
    const std::error_code& cause() const noexcept { return cause_; }

private:
    std::error_code cause_;
};

// The failure of a call the system refused: "<what>: <the system's text for cause>".
inline WrapError systemError(const std::string& what, std::error_code cause) {
    return WrapError(what + ": " + cause.message(), cause);
}

// errno as a cause. Read it before anything else runs that may change it.
inline std::error_code errnoCause() {
    return {errno, std::generic_category()};
}

// Raises an input check's sentence found again while the bootstrapper is made (the files changed since
// they were checked); nothing when it is "".
inline void throwIfProblem(const std::string& problem) {
    if (!problem.empty()) throw WrapError(problem);
}

}  // namespace wrap
