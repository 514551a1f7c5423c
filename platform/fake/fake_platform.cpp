#include "platform/fake/fake_platform.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace kestrune::fake {

namespace {

class FakeUrlHandle final : public InternetResponse {
 public:
  FakeUrlHandle(FakeInternet& owner, FakeResponse response)
      : owner_(owner), response_(std::move(response)) {
    ++owner_.liveHandles;
  }
  FakeUrlHandle(const FakeUrlHandle&) = delete;
  FakeUrlHandle& operator=(const FakeUrlHandle&) = delete;
  ~FakeUrlHandle() override {
    --owner_.liveHandles;
    owner_.eventLog.push_back("close url");
  }

  int StatusCode() const override { return response_.status; }

  std::optional<std::uint64_t> ContentLength() const override {
    if (!response_.announceLength) return std::nullopt;
    if (response_.contentLength) return response_.contentLength;
    return response_.body.size();
  }

  std::optional<std::string> Header(std::string_view name) const override {
    for (const auto& [key, value] : response_.headers) {
      if (std::equal(key.begin(), key.end(), name.begin(), name.end(), [](char a, char b) {
            return (a | 0x20) == (b | 0x20);
          })) {
        return value;
      }
    }
    return std::nullopt;
  }

  ReadResult Read(std::span<std::byte> buffer) override {
    owner_.largestRead = std::max(owner_.largestRead, buffer.size());
    owner_.nowMilliseconds += response_.millisecondsPerRead;
    if (response_.failAfterBytes && offset_ >= *response_.failAfterBytes) {
      return {false, 0, response_.silent};
    }
    std::size_t available = response_.body.size() - offset_;
    if (response_.failAfterBytes) {
      available = std::min(available, *response_.failAfterBytes - offset_);
    }
    const std::size_t n = std::min({available, buffer.size(), response_.chunk});
    if (n > 0) std::memcpy(buffer.data(), response_.body.data() + offset_, n);
    offset_ += n;
    return {true, n};
  }

 private:
  FakeInternet& owner_;
  FakeResponse response_;
  std::size_t offset_ = 0;
};

class FakeSession final : public InternetSession {
 public:
  explicit FakeSession(FakeInternet& owner) : owner_(owner) { ++owner_.liveHandles; }
  FakeSession(const FakeSession&) = delete;
  FakeSession& operator=(const FakeSession&) = delete;
  ~FakeSession() override {
    --owner_.liveHandles;
    owner_.eventLog.push_back("close session");
  }

  std::unique_ptr<InternetResponse> OpenUrl(std::string_view url,
                                            std::span<const RequestHeader> headers) override {
    const std::string address(url);
    owner_.requests.push_back(address);
    owner_.eventLog.push_back("open url: " + address);
    std::string added;
    for (const RequestHeader& header : headers) {
      added += (added.empty() ? "" : "; ") + header.name + ": " + header.value;
    }
    owner_.requestHeaders.push_back(added);
    FakeResponse response;
    if (auto next = owner_.nextResponses.find(address);
        next != owner_.nextResponses.end() && !next->second.empty()) {
      response = next->second.front();
      next->second.pop_front();
    } else if (auto it = owner_.responses.find(address); it != owner_.responses.end()) {
      response = it->second;
    } else {
      response.status = 404;
      response.body = "<html><body>404 Not Found</body></html>";
    }
    if (response.failAtOpen) return nullptr;
    return std::make_unique<FakeUrlHandle>(owner_, std::move(response));
  }

 private:
  FakeInternet& owner_;
};

std::string ParentOf(const std::string& path) {
  const std::size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// What a fake file being written does with its bytes: a full disk writes
// what fits, as a real one would, then fails.
void AppendWithinFreeSpace(FakeFiles& owner, const std::string& path,
                           std::span<const std::byte> bytes) {
  if (owner.freeSpace) {
    if (bytes.size() > *owner.freeSpace) {
      owner.files[path].append(reinterpret_cast<const char*>(bytes.data()), *owner.freeSpace);
      *owner.freeSpace = 0;
      throw IoError(IoErrorKind::DiskFull, 112);
    }
    *owner.freeSpace -= bytes.size();
  }
  owner.files[path].append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

class FakeOutputFile final : public OutputFile {
 public:
  FakeOutputFile(FakeFiles& owner, std::string path) : owner_(owner), path_(std::move(path)) {
    ++owner_.openOutputFiles;
  }
  FakeOutputFile(const FakeOutputFile&) = delete;
  FakeOutputFile& operator=(const FakeOutputFile&) = delete;
  ~FakeOutputFile() override {
    if (open_) --owner_.openOutputFiles;
  }

  void Write(std::span<const std::byte> bytes) override {
    AppendWithinFreeSpace(owner_, path_, bytes);
  }

  void Close() override {
    if (open_) --owner_.openOutputFiles;
    open_ = false;
  }

 private:
  FakeFiles& owner_;
  std::string path_;
  bool open_ = true;
};

// Held (in heldFiles) from its creation until it is moved or dropped.
class FakeTemporaryFile final : public TemporaryFile {
 public:
  FakeTemporaryFile(FakeFiles& owner, std::string path) : owner_(owner), path_(std::move(path)) {
    ++owner_.openOutputFiles;
    owner_.heldFiles.insert(path_);
  }
  FakeTemporaryFile(const FakeTemporaryFile&) = delete;
  FakeTemporaryFile& operator=(const FakeTemporaryFile&) = delete;
  ~FakeTemporaryFile() override {
    if (!held_) return;
    Release();
    if (owner_.files.erase(path_) != 0) owner_.eventLog.push_back("remove: " + path_);
  }

  void Write(std::span<const std::byte> bytes) override {
    AppendWithinFreeSpace(owner_, path_, bytes);
  }

  void Finish() override {}

  void MoveInto(const std::string& target) override {
    if (const auto other = owner_.broughtInByAnother.find(target);
        other != owner_.broughtInByAnother.end()) {
      owner_.files[target] = other->second;
      owner_.broughtInByAnother.erase(other);
      throw IoError(IoErrorKind::AccessDenied, 32);
    }
    if (owner_.directories.count(target) != 0 || owner_.readOnly.count(target) != 0) {
      throw IoError(IoErrorKind::AccessDenied, 5);
    }
    owner_.files[target] = std::move(owner_.files[path_]);
    owner_.files.erase(path_);
    owner_.eventLog.push_back("replace: " + target);
    Release();
  }

 private:
  void Release() {
    held_ = false;
    --owner_.openOutputFiles;
    owner_.heldFiles.erase(path_);
  }

  FakeFiles& owner_;
  std::string path_;
  bool held_ = true;
};

}  // namespace

std::unique_ptr<InternetSession> FakeInternet::OpenSession(std::string_view agent) {
  agents.emplace_back(agent);
  if (failSession) return nullptr;
  ++sessionsOpened;
  return std::make_unique<FakeSession>(*this);
}

FakeFiles::FakeFiles(EventLog& log) : eventLog(log) { directories.insert(currentDirectory); }

bool FakeFiles::FileExists(const std::string& path) { return files.count(path) != 0; }

std::unique_ptr<OutputFile> FakeFiles::CreateOutputFile(const std::string& path) {
  // "dir\" names the folder itself, as Windows reads it.
  const bool namesFolder = !path.empty() && (path.back() == '\\' || path.back() == '/');
  const std::string target = namesFolder ? path.substr(0, path.size() - 1) : path;
  if (directories.count(target) != 0 || readOnly.count(path) != 0) {
    throw IoError(IoErrorKind::AccessDenied, 5);
  }
  if (directories.count(ParentOf(path)) == 0) throw IoError(IoErrorKind::PathNotFound, 3);
  files[path].clear();
  eventLog.push_back("create: " + path);
  return std::make_unique<FakeOutputFile>(*this, path);
}

std::unique_ptr<TemporaryFile> FakeFiles::CreateTemporaryFile(const std::string& path) {
  if (directories.count(ParentOf(path)) == 0) throw IoError(IoErrorKind::PathNotFound, 3);
  if (readOnly.count(path) != 0) throw IoError(IoErrorKind::AccessDenied, 5);
  if (files.count(path) != 0 || directories.count(path) != 0) return nullptr;
  files[path].clear();
  eventLog.push_back("create: " + path);
  return std::make_unique<FakeTemporaryFile>(*this, path);
}

bool FakeFiles::RemoveUnlessHeld(const std::string& path) noexcept {
  if (heldFiles.count(path) != 0 || files.erase(path) == 0) return false;
  eventLog.push_back("remove: " + path);
  return true;
}

std::vector<std::string> FakeFiles::FileNamesIn(const std::string& directory) noexcept {
  std::vector<std::string> names;
  for (const auto& [path, content] : files) {
    if (ParentOf(path) == directory) names.push_back(path.substr(directory.size() + 1));
  }
  return names;
}

void FakeFiles::ReadInBlocks(const std::string& path, const BlockReceiver& take) {
  reads.push_back(path);
  const auto it = files.find(path);
  if (it == files.end()) throw IoError(IoErrorKind::FileNotFound, 2);
  take(std::as_bytes(std::span<const char>(it->second.data(), it->second.size())));
}

bool FakeProgressWindow::Show(const ProgressView& view) {
  if (!open || views.empty() || views.back().caption != view.caption ||
      views.back().count != view.count || views.back().title != view.title) {
    eventLog.push_back("progress: " + view.title + " | " + view.caption + " | " + view.count);
  }
  open = true;
  views.push_back(view);
  return cancelAtShow && views.size() >= *cancelAtShow;
}

void FakeProgressWindow::Close() {
  if (!open) return;
  open = false;
  eventLog.push_back("progress: close");
}

void FakeDesktop::ShellOpen(const std::string& target) {
  if (shellFailure) throw *std::exchange(shellFailure, std::nullopt);
  shellOpens.push_back(target);
  eventLog.push_back("shell: " + target);
}

void FakeDesktop::OpenWebPage(const std::string& url) {
  if (shellFailure) throw *std::exchange(shellFailure, std::nullopt);
  webPages.push_back(url);
  eventLog.push_back("web page: " + url);
}

bool FakeDesktop::Confirm(const std::string& text) {
  ++confirmations;
  eventLog.push_back("confirm: " + text);
  if (confirmAnswers.empty()) return false;
  const bool answer = confirmAnswers.front();
  confirmAnswers.pop_front();
  return answer;
}

void FakeDesktop::ShowInformation(const std::string& text) {
  informations.push_back(text);
  eventLog.push_back("info: " + text);
}

void FakeDesktop::ShowError(const std::string& text) {
  errors.push_back(text);
  eventLog.push_back("error: " + text);
}

void FakeSystem::Sleep(int milliseconds) { eventLog.push_back("sleep: " + std::to_string(milliseconds)); }

std::string FakeSystem::OwnExecutablePath() {
  eventLog.push_back("own path");
  return executablePath;
}

std::string Latin1ToUtf8(std::string_view ansi) {
  std::string out;
  out.reserve(ansi.size());
  for (char c : ansi) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x80) {
      out.push_back(c);
    } else {
      out.push_back(static_cast<char>(0xC0 | (u >> 6)));
      out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
    }
  }
  return out;
}

void FakeWindow::SetImage2Hint(const std::string& text) {
  image2Hint = text;
  eventLog.push_back("hint: " + text);
}

void FakeWindow::SetHintHidePause(int milliseconds) {
  hintHidePause = milliseconds;
  eventLog.push_back("hint pause: " + std::to_string(milliseconds));
}

void FakeWindow::LayOutLauncherButtons(const LauncherLayout& layout) {
  layouts.push_back(layout);
  outerHeight = layout.outerHeight;
  exitButtonTop = layout.exitButtonTop;
  eventLog.push_back("lay out buttons: " + std::to_string(layout.buttons.size()));
}

void FakeWindow::Close() {
  closed = true;
  eventLog.push_back("close window");
}

const std::vector<ButtonDesign>& FakeWindow::Buttons() const {
  static const std::vector<ButtonDesign> kNone;
  return layouts.empty() ? kNone : layouts.back().buttons;
}

void FakeApplication::SetMainFormOnTaskbar(bool value) {
  mainFormOnTaskbar = value;
  log_.push_back(std::string("taskbar: ") + (value ? "main window" : "application"));
}

void FakeApplication::SetTitle(const std::string& text) {
  title = text;
  log_.push_back("title: " + text);
}

MainWindow& FakeApplication::CreateMainWindow(FormEvents& formEvents, const FormPictures& pictures) {
  events_ = &formEvents;
  logoGiven = pictures.logo.has_value();
  helpIconGiven = pictures.helpIcon.has_value();
  log_.push_back("create main window");
  return window_;
}

int FakeApplication::Run() {
  shown = true;
  log_.push_back("run");
  if (whileShown && events_ != nullptr) whileShown(*events_);
  return 0;
}

void FakeApplication::DestroyMainWindow() noexcept {
  events_ = nullptr;
  log_.push_back("destroy main window");
}

FakePlatform::FakePlatform() = default;

std::string FakePlatform::InWorkDir(const std::string& name) const {
  return files.currentDirectory + "\\" + name;
}

}  // namespace kestrune::fake
