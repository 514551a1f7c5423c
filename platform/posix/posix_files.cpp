#include "platform/posix/posix_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <array>
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

struct DirCloser {
  void operator()(DIR* dir) const { ::closedir(dir); }
};

// fsync, retried when a signal interrupts it. 0 or -1 with errno set.
int FsyncRetried(int fd) {
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

// An open file being written, for GatheredFileWriter. On a failure the
// descriptor is closed.
class WrittenFd {
 public:
  WrittenFd(UniqueFd fd, std::string path) : fd_(std::move(fd)), path_(std::move(path)) {}

  bool IsOpen() const { return static_cast<bool>(fd_); }
  int Descriptor() const { return fd_.get(); }
  const std::string& Path() const { return path_; }
  [[noreturn]] void ThrowNotOpen() const { ThrowIoError(EBADF, path_); }

  void WriteAll(std::span<const std::byte> bytes) {
    while (!bytes.empty()) {
      const ssize_t written = ::write(fd_.get(), bytes.data(), bytes.size());
      if (written < 0) {
        if (errno == EINTR) continue;
        Fail(errno);
      }
      bytes = bytes.subspan(static_cast<std::size_t>(written));
    }
  }

  // On the disk itself, not just with the system.
  void SyncToDisk() {
    if (FsyncRetried(fd_.get()) != 0) Fail(errno);
  }

  // close()'s own error (a full disk on a network file system, EIO) still
  // counts.
  void Close() {
    if (fd_ && ::close(fd_.Release()) != 0 && errno != EINTR) ThrowIoError(errno, path_);
  }

 private:
  [[noreturn]] void Fail(int error) {
    fd_.Reset();
    ThrowIoError(error, path_);
  }

  UniqueFd fd_;
  std::string path_;
};

using GatheredFdWriter = GatheredFileWriter<WrittenFd>;

class PosixOutputFile final : public OutputFile {
 public:
  PosixOutputFile(UniqueFd fd, std::string path)
      : writer_(WrittenFd(std::move(fd), std::move(path))) {}
  void Write(std::span<const std::byte> bytes) override { writer_.Write(bytes); }
  void Close() override {
    if (!writer_.Target().IsOpen()) return;
    writer_.FlushToDisk();
    writer_.Target().Close();
  }

 private:
  GatheredFdWriter writer_;
};

// Makes a rename or a removal in directory durable: the entry lives in the
// directory's own data, and until that reaches the disk a power cut may
// bring back the old entry, or none.
void SyncDirectory(const std::string& directory) {
  const UniqueFd dir(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!dir || FsyncRetried(dir.get()) != 0) ThrowIoError(errno, directory);
}

// True while path still names the file open as fd: a file removed by
// another launcher's clean-up between its creation and its lock is not.
bool StillNamedBy(int fd, const std::string& path) {
  struct stat opened {};
  struct stat named {};
  return ::fstat(fd, &opened) == 0 && ::lstat(path.c_str(), &named) == 0 &&
         opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

// Held through an exclusive flock on its own descriptor, from just after
// its creation until it has been renamed into place: the clean-up of
// another launcher takes the same lock before it removes anything, and a
// killed process's lock goes with it.
class PosixTemporaryFile final : public TemporaryFile {
 public:
  PosixTemporaryFile(UniqueFd fd, std::string path)
      : writer_(WrittenFd(std::move(fd), std::move(path))) {}

  ~PosixTemporaryFile() override {
    // Removed while still locked, so no other launcher sees a half-written
    // file without its owner; the descriptor (and the lock) goes after.
    if (!moved_) ::unlink(writer_.Target().Path().c_str());
  }

  PosixTemporaryFile(const PosixTemporaryFile&) = delete;
  PosixTemporaryFile& operator=(const PosixTemporaryFile&) = delete;

  void Write(std::span<const std::byte> bytes) override {
    // The first bytes tell whether the file is a program; kept as they pass
    // rather than read back through another descriptor.
    for (std::size_t i = 0; i < bytes.size() && headSize_ < head_.size(); ++i) {
      head_[headSize_++] = static_cast<char>(bytes[i]);
    }
    writer_.Write(bytes);
  }
  void Finish() override { writer_.FlushToDisk(); }

  void MoveInto(const std::string& target) override {
    const WrittenFd& file = writer_.Target();
    if (!file.IsOpen()) file.ThrowNotOpen();
    MarkExecutableIfProgram(file.Descriptor(), std::span<const char>(head_.data(), headSize_),
                            file.Path());
    if (::rename(file.Path().c_str(), target.c_str()) != 0) ThrowIoError(errno, target);
    moved_ = true;
    SyncDirectory(ContainingDirectory(target));
    writer_.Target().Close();
  }

 private:
  GatheredFdWriter writer_;
  std::array<char, 4> head_{};
  std::size_t headSize_ = 0;
  bool moved_ = false;
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

void PosixFileSystem::ReadInBlocks(const std::string& path, const BlockReceiver& take) {
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd) ThrowIoError(errno, path);
  std::byte block[64 * 1024];
  for (;;) {
    const ssize_t got = ::read(fd.get(), block, sizeof block);
    if (got < 0) {
      if (errno == EINTR) continue;
      ThrowIoError(errno, path);
    }
    if (got == 0) return;
    take(std::span<const std::byte>(block, static_cast<std::size_t>(got)));
  }
}

std::unique_ptr<TemporaryFile> PosixFileSystem::CreateTemporaryFile(const std::string& path) {
  UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666));
  if (!fd) {
    if (errno == EEXIST) return nullptr;
    ThrowIoError(errno, path);
  }
  // A clean-up that got in between the creation and the lock has removed
  // the name (or holds the lock to do so): the name counts as taken.
  int locked = 0;
  do {
    locked = ::flock(fd.get(), LOCK_EX | LOCK_NB);
  } while (locked != 0 && errno == EINTR);
  if (locked != 0) {
    if (errno == EWOULDBLOCK) return nullptr;
    ThrowIoError(errno, path);
  }
  if (!StillNamedBy(fd.get(), path)) return nullptr;
  return std::make_unique<PosixTemporaryFile>(std::move(fd), path);
}

bool PosixFileSystem::RemoveUnlessHeld(const std::string& path) noexcept {
  // O_NONBLOCK: a FIFO someone put there must not stall the start.
  const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
  if (!fd) return false;
  if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) return false;
  // Only the file that was locked: had its owner just renamed it into place
  // and another file taken its name, that one is not ours to judge.
  if (!StillNamedBy(fd.get(), path)) return false;
  return ::unlink(path.c_str()) == 0;
}

std::vector<std::string> PosixFileSystem::FileNamesIn(const std::string& directory) noexcept {
  std::vector<std::string> names;
  try {
    const std::unique_ptr<DIR, DirCloser> dir(::opendir(directory.c_str()));
    if (!dir) return names;
    while (const dirent* entry = ::readdir(dir.get())) {
      const std::string name = entry->d_name;
      if (name == "." || name == "..") continue;
      // The entry's own type spares a stat per file at every start; only a
      // file system that gives none is asked.
      bool plain = entry->d_type == DT_REG;
      if (entry->d_type == DT_UNKNOWN) {
        struct stat info {};
        const std::string path = directory + "/" + name;
        plain = ::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
      }
      if (plain) names.push_back(name);
    }
  } catch (...) {
    // Out of memory for a name: what was read so far is still of use.
  }
  return names;
}

std::uint64_t PosixFileSystem::ProcessId() const { return static_cast<std::uint64_t>(::getpid()); }

std::optional<std::uint64_t> PosixFileSystem::FreeSpace(const std::string& directory) noexcept {
  struct statvfs disk {};
  if (::statvfs(directory.c_str(), &disk) != 0) return std::nullopt;
  // What a process without the superuser's reserve may still write.
  return static_cast<std::uint64_t>(disk.f_bavail) * disk.f_frsize;
}

}  // namespace kestrune::posix
