// The file services over POSIX calls, on file descriptors the objects own.
#pragma once

#include <memory>
#include <string>

#include "common/file_system.h"

namespace kestrune::posix {

class PosixFileSystem final : public FileSystem {
 public:
  std::string CurrentDirectory() override;
  bool FileExists(const std::string& path) override;
  std::unique_ptr<OutputFile> CreateOutputFile(const std::string& path) override;
  void ReadInBlocks(const std::string& path, const BlockReceiver& take) override;
  // A finished download that is a program (an ELF binary or a "#!"
  // script) gets its owner's execute bit as it is moved into place, so a
  // click on its button starts it as it would on Windows.
  std::unique_ptr<TemporaryFile> CreateTemporaryFile(const std::string& path) override;
  bool RemoveUnlessHeld(const std::string& path) noexcept override;
  std::vector<std::string> FileNamesIn(const std::string& directory) noexcept override;
  std::uint64_t ProcessId() const override;
  std::optional<std::uint64_t> FreeSpace(const std::string& directory) noexcept override;
  char PathSeparator() const override { return '/'; }
};

}  // namespace kestrune::posix
