// The file service: the working directory and the files in it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/io_error.h"

namespace kestrune {

// A file being written. Write and Close throw IoError. Destroying it
// without Close closes the handle without reporting.
class OutputFile {
 public:
  virtual ~OutputFile() = default;
  virtual void Write(std::span<const std::byte> bytes) = 0;
  // Flushes the bytes to the disk itself, not just to the system, and
  // closes; a failure to do either is an IoError.
  virtual void Close() = 0;
};

// A download's temporary file. It is held by the process writing it from
// its creation until it is moved into place or dropped, so that another
// launcher cleaning up after a killed one can tell it from a leftover. Write
// and Finish throw IoError. Dropped before MoveInto, it is closed and
// removed.
class TemporaryFile {
 public:
  virtual ~TemporaryFile() = default;
  virtual void Write(std::span<const std::byte> bytes) = 0;
  // Flushes the bytes to the disk itself; a full disk that only shows now is
  // an IoError here, before anything is decided on the content.
  virtual void Finish() = 0;
  // Moves the finished file over target (in the same directory) while still
  // holding it, returns once the move is on the disk, and lets go of the
  // file; throws IoError.
  virtual void MoveInto(const std::string& target) = 0;
};

// A download stops before it would leave less than this free on the disk
// it writes to: a server sending an endless body (or anyone on the path,
// whose bytes would be refused only at the end) cannot fill it.
inline constexpr std::uint64_t kFreeSpaceMarginBytes = std::uint64_t{64} << 20;

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
  // Creates path for writing only if no file of that name exists, and holds
  // it (see TemporaryFile). Nothing when the name is taken, even by a file
  // that is being removed; throws IoError for any other failure.
  virtual std::unique_ptr<TemporaryFile> CreateTemporaryFile(const std::string& path) = 0;
  // Removes path unless a running process holds it as a TemporaryFile;
  // false when it is held or cannot be removed. Never throws.
  virtual bool RemoveUnlessHeld(const std::string& path) noexcept = 0;
  // The names of the plain files directly in directory; nothing when it
  // cannot be read. Never throws.
  virtual std::vector<std::string> FileNamesIn(const std::string& directory) noexcept = 0;
  // This process's id, which no other running process has: temporary names
  // carry it.
  virtual std::uint64_t ProcessId() const = 0;
  // Hands the bytes of a file to take block by block, in order, so memory
  // does not grow with the file; throws IoError.
  using BlockReceiver = std::function<void(std::span<const std::byte> block)>;
  virtual void ReadInBlocks(const std::string& path, const BlockReceiver& take) = 0;

  // The whole content of a file; throws IoError.
  std::string ReadWholeFile(const std::string& path) {
    std::string content;
    ReadInBlocks(path, [&content](std::span<const std::byte> block) {
      content.append(reinterpret_cast<const char*>(block.data()), block.size());
    });
    return content;
  }
  // The bytes this process may still write on the disk that holds
  // directory; nothing when the system cannot tell. Never throws.
  virtual std::optional<std::uint64_t> FreeSpace(const std::string& directory) noexcept = 0;
  // The separator this platform puts between a directory and a name.
  virtual char PathSeparator() const = 0;
};

}  // namespace kestrune
