// The failure kiteboot-wrap reports to its user: one sentence, printed after "kiteboot-wrap: ".
#pragma once

#include <stdexcept>

namespace wrap {

class WrapError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace wrap
