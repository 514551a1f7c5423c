// File input/output failures, raised as exceptions by the file services and
// reported by the main window's creation in an error box.
#pragma once

#include <stdexcept>
#include <string>

namespace kestrune {

// The failures the runtime has its own words for; anything else is Other
// and is described by its system error number.
enum class IoErrorKind {
  FileNotFound,
  PathNotFound,
  TooManyOpenFiles,
  AccessDenied,
  DiskFull,
  ReadBeyondEnd,
  Other,
};

class IoError : public std::runtime_error {
 public:
  IoError(IoErrorKind kind, int systemCode);
  IoErrorKind Kind() const { return kind_; }
  int SystemCode() const { return systemCode_; }

 private:
  IoErrorKind kind_;
  int systemCode_;
};

// "File not found", "Disk full", ... or "I/O error N".
std::string DescribeIoError(IoErrorKind kind, int systemCode);

}  // namespace kestrune
