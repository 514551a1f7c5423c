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
  std::string ReadWholeFile(const std::string& path) override;
  // A finished download becomes visible here; a program in it (an ELF
  // binary or a "#!" script) gets its owner's execute bit on the way, so a
  // click on its button starts it as it would on Windows.
  void ReplaceFile(const std::string& from, const std::string& to) override;
  void RemoveFile(const std::string& path) noexcept override;
  char PathSeparator() const override { return '/'; }
};

}  // namespace kestrune::posix
