// A counted reference to a system library, loaded by full path from the system directory.
#pragma once

#include <string>

#include "common/windows/WinAutoHandle.h"

class Dll {
public:
    // Loads <system directory>\<baseName> ("user32", "ntdll", "Kernel32"), never through the search path;
    // the loader adds ".dll" to a name without extension. Throws ZorError<SysError> ("LoadLibraryW(<path>)
    // failed"), and ZorError<std::invalid_argument> for a base name with a separator or drive, "." or "..",
    // or an empty one, since that would reach outside the system directory.
    explicit Dll(const std::string& baseName);
    // Takes a reference of its own on the module. Throws ZorError<SysError> ("GetModuleHandleExW(<path>)
    // failed").
    Dll(const Dll& other);
    Dll& operator=(const Dll&) = delete;
    ~Dll();

    // The export's address; null when it is missing and mustExist is false.
    // Throws ZorError<SysError> ("GetProcAddress(<path>, <name>) failed") when it is missing and mustExist.
    void* getFunction(const std::string& name, bool mustExist) const;

    // The full path the library was loaded from.
    const std::wstring& name() const { return name_; }
    HMODULE handle() const { return handle_.get(); }

private:
    std::wstring name_;
    UniqueModule handle_;
};
