// A failed Windows call: the caller's message, the error code and the system's description of it.
#pragma once

#include <stdexcept>

#include "common/share/errors/MessageBuilder.h"

class SysError : public std::runtime_error {
public:
    // failedFunction is the address of the Windows function that failed (for example &CreateDirectoryA);
    // the code's description is looked up in the module that contains it first, then in the system.
    SysError(const MessageBuilder& message, const void* failedFunction, unsigned long code);
};

// The address of a function as SysError takes it.
template <class Function>
const void* functionAddress(Function* function) {
    return reinterpret_cast<const void*>(function);
}
