#include "update/download_progress.h"

#include <algorithm>
#include <utility>

#include "common/texts.h"

namespace kestrune {

namespace {

class WatchedResponse final : public InternetResponse {
 public:
  // The length is asked once: a platform may ask the server's headers
  // again at every call (WinINet does, through the system's server).
  WatchedResponse(std::unique_ptr<InternetResponse> inner, DownloadProgress& progress)
      : inner_(std::move(inner)), progress_(progress), announced_(inner_->ContentLength()) {}
  int StatusCode() const override { return inner_->StatusCode(); }
  std::optional<std::uint64_t> ContentLength() const override { return announced_; }
  std::string RedirectedTo() const override { return inner_->RedirectedTo(); }
  std::optional<std::string> Header(std::string_view name) const override {
    return inner_->Header(name);
  }
  ReadResult Read(std::span<std::byte> buffer) override {
    if (progress_.Cancelled()) return {};
    const ReadResult read = inner_->Read(buffer);
    if (read.ok) bytes_ += read.bytes;
    if (!progress_.Arrived(bytes_, announced_)) return {};
    return read;
  }

 private:
  std::unique_ptr<InternetResponse> inner_;
  DownloadProgress& progress_;
  std::optional<std::uint64_t> announced_;
  std::uint64_t bytes_ = 0;
};

class WatchedSession final : public InternetSession {
 public:
  WatchedSession(std::unique_ptr<InternetSession> inner, DownloadProgress& progress)
      : inner_(std::move(inner)), progress_(progress) {}
  std::unique_ptr<InternetResponse> OpenUrl(std::string_view url,
                                            std::span<const RequestHeader> headers) override {
    if (progress_.Cancelled()) return nullptr;
    std::unique_ptr<InternetResponse> response = inner_->OpenUrl(url, headers);
    if (!response) return nullptr;
    return std::make_unique<WatchedResponse>(std::move(response), progress_);
  }

 private:
  std::unique_ptr<InternetSession> inner_;
  DownloadProgress& progress_;
};

class WatchedInternet final : public Internet {
 public:
  WatchedInternet(Internet& inner, DownloadProgress& progress)
      : inner_(inner), progress_(progress) {}
  std::unique_ptr<InternetSession> OpenSession(std::string_view agent) override {
    std::unique_ptr<InternetSession> session = inner_.OpenSession(agent);
    if (!session) return nullptr;
    return std::make_unique<WatchedSession>(std::move(session), progress_);
  }
  std::uint64_t MonotonicMilliseconds() override { return inner_.MonotonicMilliseconds(); }

 private:
  Internet& inner_;
  DownloadProgress& progress_;
};

}  // namespace

std::string ProgressCount(std::size_t file, std::size_t files) {
  return texts::kProgressCountFile + std::to_string(file) + texts::kProgressCountOf +
         std::to_string(files);
}

DownloadProgress::DownloadProgress(ProgressWindow& window, Internet& internet, std::string title,
                                   std::size_t files)
    : window_(window),
      internet_(internet),
      watched_(std::make_unique<WatchedInternet>(internet, *this)),
      files_(files) {
  view_.title = std::move(title);
}

DownloadProgress::~DownloadProgress() { Close(); }

Internet& DownloadProgress::Watched() { return *watched_; }

void DownloadProgress::Begin(const std::string& caption) {
  // A file listed twice whose first download failed is fetched again: the
  // count never goes past the files counted.
  file_ = std::min(file_ + 1, files_);
  view_.caption = caption;
  view_.count = ProgressCount(file_, files_);
  // Empty until the response tells whether its length is known.
  view_.steps = 0;
  open_ = true;
  Draw();
}

void DownloadProgress::Close() {
  if (!open_) return;
  open_ = false;
  window_.Close();
}

bool DownloadProgress::Arrived(std::uint64_t bodyBytes, std::optional<std::uint64_t> announced) {
  if (!open_ || cancelled_) return !cancelled_;
  // The block that completes the file is always drawn: the bar ends full.
  const bool whole = announced && bodyBytes >= *announced && view_.steps != kProgressSteps;
  const std::uint64_t now = internet_.MonotonicMilliseconds();
  if (!whole && now - lastDrawn_ < kProgressRedrawMilliseconds) return true;
  if (announced && *announced > 0) {
    view_.steps = static_cast<int>(std::min(bodyBytes, *announced) * kProgressSteps / *announced);
  } else if (announced) {
    view_.steps = kProgressSteps;
  } else {
    view_.steps.reset();
  }
  Draw();
  return !cancelled_;
}

void DownloadProgress::Draw() {
  lastDrawn_ = internet_.MonotonicMilliseconds();
  if (window_.Show(view_)) cancelled_ = true;
}

}  // namespace kestrune
