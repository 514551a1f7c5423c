#include "platform/win32/win32_io_error.h"

namespace kestrune::win32 {

IoErrorKind IoErrorKindOf(DWORD systemCode) {
  switch (systemCode) {
    case ERROR_FILE_NOT_FOUND:
      return IoErrorKind::FileNotFound;
    case ERROR_PATH_NOT_FOUND:
      return IoErrorKind::PathNotFound;
    case ERROR_TOO_MANY_OPEN_FILES:
      return IoErrorKind::TooManyOpenFiles;
    // A file another program holds open is, to the user, a file they may
    // not touch right now: the same words as a denied access.
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return IoErrorKind::AccessDenied;
    case ERROR_HANDLE_DISK_FULL:
    case ERROR_DISK_FULL:
      return IoErrorKind::DiskFull;
    case ERROR_HANDLE_EOF:
      return IoErrorKind::ReadBeyondEnd;
    default:
      return IoErrorKind::Other;
  }
}

void ThrowLastIoError() {
  const DWORD code = ::GetLastError();
  throw IoError(IoErrorKindOf(code), static_cast<int>(code));
}

}  // namespace kestrune::win32
