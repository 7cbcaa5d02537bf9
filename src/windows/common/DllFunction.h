// One export of a system library, bound at run time and typed. Holds its own reference on the library,
// so the module stays loaded as long as the binding exists.
#pragma once

#include <string>

#include "common/share/errors/ZorError.h"
#include "common/share/tstrings.h"
#include "windows/common/Dll.h"

enum class Binding {
    Strict,   // a missing export throws while binding
    Lenient,  // a missing export leaves the binding empty; callers test available()
};

// Function is a function pointer type, for example int (WINAPI*)(HWND, LPCWSTR, LPCWSTR, UINT).
template <class Function>
class DllFunction {
public:
    DllFunction(const Dll& library, const std::string& name, Binding binding)
        : library_(library),
          function_(reinterpret_cast<Function>(library_.getFunction(name, binding == Binding::Strict))),
          functionName_(name) {}

    bool available() const { return function_ != nullptr; }
    const std::string& name() const { return functionName_; }

    // The bound function. Throws ZorError<std::runtime_error> ("<name>() function is not available in
    // <library path>") when the binding is empty.
    operator Function() const {
        if (!function_) {
            throw ZorError<std::runtime_error>(
                std::runtime_error(functionName_ + "() function is not available in " +
                                   tstrings::toUtf8(library_.name())),
                SourceLocation(kHeaderFile, ZOR_FUNCTION, __LINE__));
        }
        return function_;
    }

private:
    // This header's path as the location of the conversion's failure, written with "\\" separators.
    static constexpr const char* kHeaderFile = "src\\windows\\common\\DllFunction.h";

    Dll library_;
    Function function_;
    std::string functionName_;
};
