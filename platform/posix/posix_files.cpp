#include "platform/posix/posix_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "platform/gathered_writes.h"
#include "platform/posix/posix_errno_error.h"
#include "platform/posix/posix_program_file.h"
#include "platform/posix/posix_unique_fd.h"

namespace kestrune::posix {

namespace {

struct FreeDeleter {
  void operator()(char* p) const { std::free(p); }
};

// fsync, retried when a signal interrupts it. 0 or -1 with errno set.
int SyncToDisk(int fd) {
  for (;;) {
    if (::fsync(fd) == 0) return 0;
    if (errno == EINTR) continue;
    // NOTE: EINVAL means this kind of file (a pipe, a device) has nothing
    // that could be made durable; that is no failure to store the bytes.
    return errno == EINVAL ? 0 : -1;
  }
}

// The directory holding path's entry: what a rename changes.
std::string ContainingDirectory(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

class PosixOutputFile final : public OutputFile {
 public:
  PosixOutputFile(UniqueFd fd, std::string path) : fd_(std::move(fd)), path_(std::move(path)) {}

  // Dropped without Close: what was written still goes to the file, but a
  // failure to store it goes unreported, as the contract allows.
  ~PosixOutputFile() override {
    if (fd_ && held_.HoldsBytes()) {
      try {
        held_.Flush([this](std::span<const std::byte> piece) { WriteAll(piece); });
      } catch (...) {
      }
    }
  }

  PosixOutputFile(const PosixOutputFile&) = delete;
  PosixOutputFile& operator=(const PosixOutputFile&) = delete;

  void Write(std::span<const std::byte> bytes) override {
    if (!fd_) ThrowIoError(EBADF, path_);
    held_.Write(bytes, [this](std::span<const std::byte> piece) { WriteAll(piece); });
  }

  void Close() override {
    if (!fd_) return;
    // The held-back bytes first: a full disk often shows only here.
    held_.Flush([this](std::span<const std::byte> piece) { WriteAll(piece); });
    // The file is moved into place next and a present file is never
    // fetched again, so its data must be on the disk before that: after a
    // power cut the new name could otherwise stand over missing content.
    if (SyncToDisk(fd_.get()) != 0) {
      const int error = errno;
      fd_.Reset();
      ThrowIoError(error, path_);
    }
    // close()'s own error (a full disk on a network file system, EIO)
    // still counts.
    if (::close(fd_.Release()) != 0 && errno != EINTR) ThrowIoError(errno, path_);
  }

 private:
  // On a failure the file is closed: what follows a lost piece must not be
  // stored after it as if nothing were missing.
  void WriteAll(std::span<const std::byte> bytes) {
    while (!bytes.empty()) {
      const ssize_t written = ::write(fd_.get(), bytes.data(), bytes.size());
      if (written < 0) {
        if (errno == EINTR) continue;
        const int error = errno;
        fd_.Reset();
        ThrowIoError(error, path_);
      }
      bytes = bytes.subspan(static_cast<std::size_t>(written));
    }
  }

  UniqueFd fd_;
  std::string path_;
  GatheredWrites held_;
};

}  // namespace

std::string PosixFileSystem::CurrentDirectory() {
  // glibc allocates a buffer of the right size when given none.
  const std::unique_ptr<char, FreeDeleter> cwd(::getcwd(nullptr, 0));
  if (!cwd) ThrowIoError(errno, {});
  return std::string(cwd.get());
}

bool PosixFileSystem::FileExists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

std::unique_ptr<OutputFile> PosixFileSystem::CreateOutputFile(const std::string& path) {
  UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
  if (!fd) ThrowIoError(errno, path);
  return std::make_unique<PosixOutputFile>(std::move(fd), path);
}

std::string PosixFileSystem::ReadWholeFile(const std::string& path) {
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd) ThrowIoError(errno, path);
  std::string content;
  struct stat info {};
  if (::fstat(fd.get(), &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0) {
    content.reserve(static_cast<std::size_t>(info.st_size));
  }
  char block[16384];
  for (;;) {
    const ssize_t got = ::read(fd.get(), block, sizeof block);
    if (got < 0) {
      if (errno == EINTR) continue;
      ThrowIoError(errno, path);
    }
    if (got == 0) break;
    content.append(block, static_cast<std::size_t>(got));
  }
  return content;
}

void PosixFileSystem::ReplaceFile(const std::string& from, const std::string& to) {
  MarkExecutableIfProgram(from);
  if (::rename(from.c_str(), to.c_str()) != 0) {
    const int error = errno;
    // A missing source is reported against the source, not the target.
    ThrowIoError(error, error == ENOENT ? from : to);
  }
  // The rename lives in the directory's own data: until that reaches the
  // disk a power cut may bring back the old entry, or none.
  const std::string directory = ContainingDirectory(to);
  const UniqueFd dir(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!dir || SyncToDisk(dir.get()) != 0) ThrowIoError(errno, directory);
}

void PosixFileSystem::RemoveFile(const std::string& path) noexcept { ::unlink(path.c_str()); }

}  // namespace kestrune::posix
