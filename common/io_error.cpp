#include "common/io_error.h"

namespace kestrune {

IoError::IoError(IoErrorKind kind, int systemCode)
    : std::runtime_error(DescribeIoError(kind, systemCode)), kind_(kind), systemCode_(systemCode) {}

std::string DescribeIoError(IoErrorKind kind, int systemCode) {
  switch (kind) {
    case IoErrorKind::FileNotFound:
      return "File not found";
    case IoErrorKind::PathNotFound:
      return "Path not found";
    case IoErrorKind::TooManyOpenFiles:
      return "Too many open files";
    case IoErrorKind::AccessDenied:
      return "File access denied";
    case IoErrorKind::DiskFull:
      return "Disk full";
    case IoErrorKind::ReadBeyondEnd:
      return "Read beyond end of file";
    case IoErrorKind::Other:
      break;
  }
  return "I/O error " + std::to_string(systemCode);
}

}  // namespace kestrune
