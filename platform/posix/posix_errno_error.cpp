#include "platform/posix/posix_errno_error.h"

#include <sys/stat.h>

#include <cerrno>

namespace kestrune::posix {

namespace {

bool ParentDirectoryExists(const std::string& path) {
  const auto slash = path.find_last_of('/');
  // A bare name lives in the current directory, which exists.
  if (slash == std::string::npos) return true;
  const std::string parent = slash == 0 ? std::string("/") : path.substr(0, slash);
  struct stat info {};
  return ::stat(parent.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

IoErrorKind KindFromErrno(int error, const std::string& path) {
  switch (error) {
    case ENOENT:
      return path.empty() || ParentDirectoryExists(path) ? IoErrorKind::FileNotFound
                                                         : IoErrorKind::PathNotFound;
    case ENOTDIR:
      return IoErrorKind::PathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
      return IoErrorKind::AccessDenied;
    case ENOSPC:
    case EDQUOT:
      return IoErrorKind::DiskFull;
    case EMFILE:
    case ENFILE:
      return IoErrorKind::TooManyOpenFiles;
    default:
      return IoErrorKind::Other;
  }
}

void ThrowIoError(int error, const std::string& path) {
  throw IoError(KindFromErrno(error, path), error);
}

}  // namespace kestrune::posix
