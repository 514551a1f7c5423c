// The file services on the Windows file API.
#pragma once

#include "common/file_system.h"

namespace kestrune::win32 {

class Win32FileSystem final : public FileSystem {
 public:
  std::string CurrentDirectory() override;
  bool FileExists(const std::string& path) override;
  std::unique_ptr<OutputFile> CreateOutputFile(const std::string& path) override;
  std::string ReadWholeFile(const std::string& path) override;
  void ReplaceFile(const std::string& from, const std::string& to) override;
  void RemoveFile(const std::string& path) noexcept override;
  char PathSeparator() const override { return '\\'; }
};

}  // namespace kestrune::win32
