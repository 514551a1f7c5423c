// System error codes turned into the core's I/O errors.
#pragma once

#include "platform/win32/win32_windows.h"

#include "common/io_error.h"

namespace kestrune::win32 {

IoErrorKind IoErrorKindOf(DWORD systemCode);

// The IoError for GetLastError(), thrown.
[[noreturn]] void ThrowLastIoError();

}  // namespace kestrune::win32
