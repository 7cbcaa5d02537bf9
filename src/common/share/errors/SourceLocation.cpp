#include "common/share/errors/SourceLocation.h"

#include <string>

#include "common/share/FileName.h"
#include "common/share/logging/Logger.h"

namespace {

void reportAt(const SourceLocation& where, const std::string& message) {
    Logger::instance().log(LogLevel::Error, FileUtils::fileName(where.file).c_str(), where.line,
                           where.function, message);
}

}  // namespace

void SourceLocation::reportError(const std::exception& error) const {
    reportAt(*this, std::string("Exception with message '") + error.what() + "' caught");
}

void SourceLocation::reportUnknownError() const {
    reportAt(*this, "Unknown exception caught");
}
