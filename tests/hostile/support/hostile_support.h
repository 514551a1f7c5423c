// Real parts for the hostile-input and disk-fault tests: a server that has
// every file, a throw-away directory tree on the real disk, and a guard
// that keeps the shipped file layer inside it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/file_system.h"
#include "common/internet.h"

namespace kestrune::hostile {

// An update server holding every file anyone asks for: the manifest at
// <base>updater.txt, and for any other address below <base> a 200 whose
// body is BodyFor(<name>). Addresses outside <base> get a 404 and are kept
// apart, so a test can tell the launcher never strayed.
class OpenServer final : public Internet {
 public:
  OpenServer(std::string base, std::string manifest);
  std::unique_ptr<InternetSession> OpenSession(std::string_view agent) override;
  // Every body arrives at once.
  std::uint64_t MonotonicMilliseconds() override { return 0; }

  static std::string BodyFor(std::string_view name);

  std::string base;
  std::string manifest;
  std::vector<std::string> manifestRequests;  // whole addresses
  std::vector<std::string> requests;          // names below base, manifest excluded
  std::vector<std::string> foreignRequests;   // addresses outside base
  int liveHandles = 0;                        // sessions and responses not yet released
};

// A fresh directory tree under the system's temporary folder:
// <root>/work is the launcher's working directory, <root> itself must stay
// empty otherwise. Everything is removed when the sandbox goes.
class Sandbox {
 public:
  Sandbox();
  Sandbox(const Sandbox&) = delete;
  Sandbox& operator=(const Sandbox&) = delete;
  ~Sandbox();

  const std::string& root() const { return root_; }
  const std::string& workDir() const { return workDir_; }
  std::string InWorkDir(std::string_view name) const { return workDir_ + "/" + std::string(name); }

  // Every entry below root (directories end in '/'), relative to root,
  // sorted.
  std::vector<std::string> Walk() const;
  // Regular files below the working directory, relative to it, sorted.
  std::vector<std::string> FilesInWorkDir() const;

  void MakeDirectory(std::string_view relativeToWork) const;
  void WriteFile(std::string_view relativeToWork, std::string_view content) const;
  std::optional<std::string> ReadFile(std::string_view relativeToWork) const;

 private:
  std::string root_;
  std::string workDir_;
};

// A FileSystem put in front of the one the launcher ships (the POSIX
// layer, in these tests), so the disk faults reach the code customers run.
// It answers the sandbox's working directory as the current one, records
// what the core asks for, and is one safety net for hostile-input tests: a
// path that leaves the working directory is recorded in escapes and
// refused, never written, so a fault in the core shows up as a failed test
// rather than as a file written somewhere on the machine.
class SandboxedFiles final : public FileSystem {
 public:
  SandboxedFiles(FileSystem& shipped, std::string workDir);

  std::string CurrentDirectory() override { return workDir_; }
  bool FileExists(const std::string& path) override { return shipped_.FileExists(path); }
  std::unique_ptr<OutputFile> CreateOutputFile(const std::string& path) override;
  void ReadInBlocks(const std::string& path, const BlockReceiver& take) override;
  std::unique_ptr<TemporaryFile> CreateTemporaryFile(const std::string& path) override;
  bool RemoveUnlessHeld(const std::string& path) noexcept override;
  std::vector<std::string> FileNamesIn(const std::string& directory) noexcept override {
    return shipped_.FileNamesIn(directory);
  }
  std::uint64_t ProcessId() const override { return shipped_.ProcessId(); }
  std::optional<std::uint64_t> FreeSpace(const std::string& directory) noexcept override {
    const std::optional<std::uint64_t> free = shipped_.FreeSpace(directory);
    if (!free) return free;
    return *free + freeSpaceOverstatedBy;
  }
  char PathSeparator() const override { return shipped_.PathSeparator(); }

  std::vector<std::string> escapes;        // paths refused for leaving the directory
  std::vector<std::string> createdPaths;   // every file created, in order
  std::vector<std::string> replacedPaths;  // every file moved into place, in order
  // Every call the shipped layer failed, as "<call> <path>", in order: tells
  // a full disk met while writing from one met only when closing.
  std::vector<std::string> failedCalls;
  int openOutputFiles = 0;
  // Added to the free space the disk reports: a disk that fills although
  // it said it had room (another program writing to it meanwhile).
  std::uint64_t freeSpaceOverstatedBy = 0;

 private:
  void RequireInside(const std::string& path);
  FileSystem& shipped_;
  std::string workDir_;
};

// Lexically resolves "." and ".." of an absolute POSIX path.
std::string NormalizePosixPath(std::string_view path);

// The descriptors this process has open now, by number: compared before
// and after a start, they tell whether the shipped layer left one open.
std::vector<int> OpenDescriptors();

// A size-limited tmpfs mounted on a directory for the life of the object,
// in a mount namespace of this process only (so a crash leaves nothing
// mounted). Needs root or unprivileged user namespaces; when neither is
// available, mounted() is false and why() tells the reason.
class SmallTmpfs {
 public:
  SmallTmpfs(const std::string& directory, std::size_t bytes);
  SmallTmpfs(const SmallTmpfs&) = delete;
  SmallTmpfs& operator=(const SmallTmpfs&) = delete;
  ~SmallTmpfs();

  bool mounted() const { return mounted_; }
  const std::string& why() const { return why_; }
  // Changes the size limit in place; contents stay.
  bool Resize(std::size_t bytes);

 private:
  std::string directory_;
  bool mounted_ = false;
  std::string why_;
};

}  // namespace kestrune::hostile
