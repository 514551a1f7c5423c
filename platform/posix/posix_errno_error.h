// Turns a failed system call's errno into the IoError the core reports.
#pragma once

#include <string>

#include "common/io_error.h"

namespace kestrune::posix {

// ENOENT is "File not found", or "Path not found" when the folder that
// should hold path is itself missing; path may be empty when no file is
// concerned.
IoErrorKind KindFromErrno(int error, const std::string& path);

[[noreturn]] void ThrowIoError(int error, const std::string& path);

}  // namespace kestrune::posix
