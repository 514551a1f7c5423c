#include "tests/hostile/support/hostile_support.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <system_error>
#include <utility>

namespace kestrune::hostile {

namespace fs = std::filesystem;

namespace {

// ------------------------------------------------------------ OpenServer

class OpenResponse final : public InternetResponse {
 public:
  OpenResponse(OpenServer& owner, int status, std::string body)
      : owner_(owner), status_(status), body_(std::move(body)) {
    ++owner_.liveHandles;
  }
  OpenResponse(const OpenResponse&) = delete;
  OpenResponse& operator=(const OpenResponse&) = delete;
  ~OpenResponse() override { --owner_.liveHandles; }

  int StatusCode() const override { return status_; }
  std::optional<std::uint64_t> ContentLength() const override { return body_.size(); }
  std::optional<std::string> Header(std::string_view) const override { return std::nullopt; }

  ReadResult Read(std::span<std::byte> buffer) override {
    // Odd-sized pieces, so a body never lines up with the launcher's blocks.
    const std::size_t n = std::min({body_.size() - offset_, buffer.size(), std::size_t{777}});
    if (n > 0) std::memcpy(buffer.data(), body_.data() + offset_, n);
    offset_ += n;
    return {true, n};
  }

 private:
  OpenServer& owner_;
  int status_;
  std::string body_;
  std::size_t offset_ = 0;
};

std::string Unescaped(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
      out.push_back(static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16)));
      i += 2;
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

class OpenSessionHandle final : public InternetSession {
 public:
  explicit OpenSessionHandle(OpenServer& owner) : owner_(owner) { ++owner_.liveHandles; }
  OpenSessionHandle(const OpenSessionHandle&) = delete;
  OpenSessionHandle& operator=(const OpenSessionHandle&) = delete;
  ~OpenSessionHandle() override { --owner_.liveHandles; }

  std::unique_ptr<InternetResponse> OpenUrl(std::string_view url,
                                            std::span<const RequestHeader>) override {
    if (!url.starts_with(owner_.base)) {
      owner_.foreignRequests.emplace_back(url);
      return std::make_unique<OpenResponse>(owner_, 404, "not here");
    }
    // The name as a server's file system sees it: escapes undone.
    const std::string name = Unescaped(url.substr(owner_.base.size()));
    if (name == "updater.txt") {
      owner_.manifestRequests.emplace_back(url);
      return std::make_unique<OpenResponse>(owner_, 200, owner_.manifest);
    }
    owner_.requests.emplace_back(name);
    return std::make_unique<OpenResponse>(owner_, 200, OpenServer::BodyFor(name));
  }

 private:
  OpenServer& owner_;
};

// ----------------------------------------------------------- SandboxedFiles

// Counts the file as open until the core closes it or drops it, and notes
// which of its calls the shipped layer failed.
class SandboxedOutputFile final : public OutputFile {
 public:
  SandboxedOutputFile(SandboxedFiles& owner, std::unique_ptr<OutputFile> shipped, std::string path)
      : owner_(owner), shipped_(std::move(shipped)), path_(std::move(path)) {
    ++owner_.openOutputFiles;
  }
  SandboxedOutputFile(const SandboxedOutputFile&) = delete;
  SandboxedOutputFile& operator=(const SandboxedOutputFile&) = delete;
  ~SandboxedOutputFile() override {
    if (open_) --owner_.openOutputFiles;
  }

  void Write(std::span<const std::byte> bytes) override {
    try {
      shipped_->Write(bytes);
    } catch (const IoError&) {
      owner_.failedCalls.push_back("Write " + path_);
      throw;
    }
  }

  // Closed even when Close fails: the shipped layer lets go of its
  // descriptor either way.
  void Close() override {
    if (std::exchange(open_, false)) --owner_.openOutputFiles;
    try {
      shipped_->Close();
    } catch (const IoError&) {
      owner_.failedCalls.push_back("Close " + path_);
      throw;
    }
  }

 private:
  SandboxedFiles& owner_;
  std::unique_ptr<OutputFile> shipped_;
  std::string path_;
  bool open_ = true;
};

bool WriteSmallFile(const char* path, const std::string& text) {
  const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  ::close(fd);
  return ok;
}

}  // namespace

// ---------------------------------------------------------------- OpenServer

OpenServer::OpenServer(std::string baseUrl, std::string manifestBytes)
    : base(std::move(baseUrl)), manifest(std::move(manifestBytes)) {}

std::unique_ptr<InternetSession> OpenServer::OpenSession(std::string_view) {
  return std::make_unique<OpenSessionHandle>(*this);
}

std::string OpenServer::BodyFor(std::string_view name) {
  // One file whichever separator names it: the launcher asks for "a\\b" as "a/b".
  std::string served(name);
  std::replace(served.begin(), served.end(), '\\', '/');
  return "served body of " + served;
}

// ------------------------------------------------------------------- Sandbox

Sandbox::Sandbox() {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") +
                        "/kestrune-hostile-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) {
    throw std::system_error(errno, std::generic_category(), "mkdtemp " + pattern);
  }
  root_ = NormalizePosixPath(fs::canonical(pattern).string());
  workDir_ = root_ + "/work";
  fs::create_directory(workDir_);
}

Sandbox::~Sandbox() {
  std::error_code ignored;
  fs::remove_all(root_, ignored);
}

std::vector<std::string> Sandbox::Walk() const {
  std::vector<std::string> out;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root_)) {
    std::string relative = fs::relative(entry.path(), root_).generic_string();
    if (entry.is_directory() && !entry.is_symlink()) relative += '/';
    out.push_back(std::move(relative));
  }
  std::sort(out.begin(), out.end());
  return out;
}

std::vector<std::string> Sandbox::FilesInWorkDir() const {
  std::vector<std::string> out;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(workDir_)) {
    if (entry.is_regular_file()) out.push_back(fs::relative(entry.path(), workDir_).generic_string());
  }
  std::sort(out.begin(), out.end());
  return out;
}

void Sandbox::MakeDirectory(std::string_view relativeToWork) const {
  fs::create_directories(InWorkDir(relativeToWork));
}

void Sandbox::WriteFile(std::string_view relativeToWork, std::string_view content) const {
  std::ofstream out(InWorkDir(relativeToWork), std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  if (!out) throw std::runtime_error("cannot write " + InWorkDir(relativeToWork));
}

std::optional<std::string> Sandbox::ReadFile(std::string_view relativeToWork) const {
  const std::string path = InWorkDir(relativeToWork);
  if (!fs::is_regular_file(path)) return std::nullopt;
  // Sized read: istreambuf_iterator trips GCC 12's -Wnull-dereference in
  // libstdc++'s streambuf at -O2.
  std::string content(static_cast<std::size_t>(fs::file_size(path)), '\0');
  std::ifstream in(path, std::ios::binary);
  in.read(content.data(), static_cast<std::streamsize>(content.size()));
  content.resize(static_cast<std::size_t>(in.gcount()));
  return content;
}

// ---------------------------------------------------------------- SandboxedFiles

std::string NormalizePosixPath(std::string_view path) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view part = path.substr(start, end - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = end + 1;
  }
  std::string out;
  for (std::string_view part : parts) {
    out += '/';
    out += part;
  }
  return out.empty() ? "/" : out;
}

namespace {

// The same for a download's temporary file; MoveInto is refused when its
// target leaves the working directory.
class SandboxedTemporaryFile final : public TemporaryFile {
 public:
  SandboxedTemporaryFile(SandboxedFiles& owner, std::unique_ptr<TemporaryFile> shipped,
                         std::string path, std::function<void(const std::string&)> requireInside)
      : owner_(owner),
        shipped_(std::move(shipped)),
        path_(std::move(path)),
        requireInside_(std::move(requireInside)) {
    ++owner_.openOutputFiles;
  }
  SandboxedTemporaryFile(const SandboxedTemporaryFile&) = delete;
  SandboxedTemporaryFile& operator=(const SandboxedTemporaryFile&) = delete;
  ~SandboxedTemporaryFile() override {
    if (open_) --owner_.openOutputFiles;
  }

  void Write(std::span<const std::byte> bytes) override { Recorded("Write", [&] { shipped_->Write(bytes); }); }
  void Finish() override { Recorded("Finish", [&] { shipped_->Finish(); }); }
  void MoveInto(const std::string& target) override {
    requireInside_(target);
    Recorded("MoveInto", [&] { shipped_->MoveInto(target); });
    if (std::exchange(open_, false)) --owner_.openOutputFiles;
    owner_.replacedPaths.push_back(target);
  }

 private:
  template <typename Call>
  void Recorded(const char* name, Call&& call) {
    try {
      call();
    } catch (const IoError&) {
      owner_.failedCalls.push_back(std::string(name) + " " + path_);
      throw;
    }
  }

  SandboxedFiles& owner_;
  std::unique_ptr<TemporaryFile> shipped_;
  std::string path_;
  std::function<void(const std::string&)> requireInside_;
  bool open_ = true;
};

}  // namespace

std::vector<int> OpenDescriptors() {
  std::vector<int> out;
  for (const fs::directory_entry& entry : fs::directory_iterator("/proc/self/fd")) {
    out.push_back(std::stoi(entry.path().filename().string()));
  }
  std::sort(out.begin(), out.end());
  return out;
}

SandboxedFiles::SandboxedFiles(FileSystem& shipped, std::string workDir)
    : shipped_(shipped), workDir_(std::move(workDir)) {}

void SandboxedFiles::RequireInside(const std::string& path) {
  const std::string normal = NormalizePosixPath(path);
  // The working directory itself is inside: a blank entry name targets it,
  // and creating a file there fails as a folder.
  const bool inside = normal == workDir_ || normal.starts_with(workDir_ + "/");
  if (path.empty() || path.front() != '/' || !inside) {
    escapes.push_back(path);
    throw IoError(IoErrorKind::AccessDenied, EACCES);
  }
}

std::unique_ptr<OutputFile> SandboxedFiles::CreateOutputFile(const std::string& path) {
  RequireInside(path);
  std::unique_ptr<OutputFile> shipped;
  try {
    shipped = shipped_.CreateOutputFile(path);
  } catch (const IoError&) {
    failedCalls.push_back("CreateOutputFile " + path);
    throw;
  }
  createdPaths.push_back(path);
  return std::make_unique<SandboxedOutputFile>(*this, std::move(shipped), path);
}

void SandboxedFiles::ReadInBlocks(const std::string& path, const BlockReceiver& take) {
  try {
    shipped_.ReadInBlocks(path, take);
  } catch (const IoError&) {
    failedCalls.push_back("ReadInBlocks " + path);
    throw;
  }
}

std::unique_ptr<TemporaryFile> SandboxedFiles::CreateTemporaryFile(const std::string& path) {
  RequireInside(path);
  std::unique_ptr<TemporaryFile> shipped;
  try {
    shipped = shipped_.CreateTemporaryFile(path);
  } catch (const IoError&) {
    failedCalls.push_back("CreateTemporaryFile " + path);
    throw;
  }
  if (!shipped) return nullptr;
  createdPaths.push_back(path);
  return std::make_unique<SandboxedTemporaryFile>(
      *this, std::move(shipped), path, [this](const std::string& target) { RequireInside(target); });
}

bool SandboxedFiles::RemoveUnlessHeld(const std::string& path) noexcept {
  const std::string normal = NormalizePosixPath(path);
  if (!normal.starts_with(workDir_ + "/")) {
    escapes.push_back(path);
    return false;
  }
  return shipped_.RemoveUnlessHeld(path);
}

// ---------------------------------------------------------------- SmallTmpfs

SmallTmpfs::SmallTmpfs(const std::string& directory, std::size_t bytes) : directory_(directory) {
  if (::unshare(CLONE_NEWNS) != 0) {
    // Not root: a user namespace of our own gives the right to mount a
    // tmpfs, with our user mapped to its root.
    const uid_t uid = ::getuid();
    const gid_t gid = ::getgid();
    if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) {
      why_ = std::string("no mount namespace: ") + std::strerror(errno);
      return;
    }
    WriteSmallFile("/proc/self/setgroups", "deny");
    if (!WriteSmallFile("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") ||
        !WriteSmallFile("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1")) {
      why_ = "cannot map the user into a user namespace";
      return;
    }
  }
  // Mounts made here must not reach the rest of the machine.
  if (::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
    why_ = std::string("cannot make mounts private: ") + std::strerror(errno);
    return;
  }
  const std::string options = "size=" + std::to_string(bytes);
  if (::mount("tmpfs", directory_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) != 0) {
    why_ = std::string("cannot mount a tmpfs: ") + std::strerror(errno);
    return;
  }
  mounted_ = true;
}

SmallTmpfs::~SmallTmpfs() {
  if (mounted_) ::umount2(directory_.c_str(), MNT_DETACH);
}

bool SmallTmpfs::Resize(std::size_t bytes) {
  const std::string options = "size=" + std::to_string(bytes);
  return ::mount("tmpfs", directory_.c_str(), "tmpfs", MS_REMOUNT | MS_NOSUID | MS_NODEV,
                 options.c_str()) == 0;
}

}  // namespace kestrune::hostile
