// The file service: the working directory and the files in it.
#pragma once

#include <memory>
#include <span>
#include <string>

#include "common/io_error.h"

namespace kestrune {

// A file being written. Write and Close throw IoError. Destroying it
// without Close closes the handle without reporting.
class OutputFile {
 public:
  virtual ~OutputFile() = default;
  virtual void Write(std::span<const std::byte> bytes) = 0;
  // Flushes the bytes to the disk itself, not just to the system, and
  // closes; a failure to do either is an IoError. A file is moved into place
  // only after this, so a power cut cannot leave a kept name over lost data.
  virtual void Close() = 0;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // The process's current directory, without a closing separator except at
  // a root.
  virtual std::string CurrentDirectory() = 0;
  // True only for an existing file that is not a directory.
  virtual bool FileExists(const std::string& path) = 0;
  // Creates or truncates a file for binary writing; throws IoError.
  virtual std::unique_ptr<OutputFile> CreateOutputFile(const std::string& path) = 0;
  // The whole content of a file; throws IoError.
  virtual std::string ReadWholeFile(const std::string& path) = 0;
  // Moves a file over another of the same directory, replacing it, and
  // returns once the move itself is on the disk; throws IoError.
  virtual void ReplaceFile(const std::string& from, const std::string& to) = 0;
  // Best effort: removes a file if it is there; never throws.
  virtual void RemoveFile(const std::string& path) noexcept = 0;
  // The separator this platform puts between a directory and a name.
  virtual char PathSeparator() const = 0;
};

}  // namespace kestrune
