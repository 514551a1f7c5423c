// The file services on the Windows file API.
#pragma once

#include "common/file_system.h"

namespace kestrune::win32 {

class Win32FileSystem final : public FileSystem {
 public:
  std::string CurrentDirectory() override;
  bool FileExists(const std::string& path) override;
  std::unique_ptr<OutputFile> CreateOutputFile(const std::string& path) override;
  void ReadInBlocks(const std::string& path, const BlockReceiver& take) override;
  std::unique_ptr<TemporaryFile> CreateTemporaryFile(const std::string& path) override;
  bool RemoveUnlessHeld(const std::string& path) noexcept override;
  std::vector<std::string> FileNamesIn(const std::string& directory) noexcept override;
  std::uint64_t ProcessId() const override;
  std::optional<std::uint64_t> FreeSpace(const std::string& directory) noexcept override;
  char PathSeparator() const override { return '\\'; }
};

}  // namespace kestrune::win32
