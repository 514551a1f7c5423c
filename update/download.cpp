#include "update/download.h"

#include <array>
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "update/entries.h"
#include "update/transfer_pace.h"

namespace kestrune {

namespace {

// Names taken one after another by files this process did not make; far
// more than pid reuse after a crash could leave.
constexpr int kPartialNameAttempts = 1000;

// The temporary file a download of localPath is written to, under a name
// no other file has; throws IoError.
std::unique_ptr<TemporaryFile> CreatePartialDownload(FileSystem& files,
                                                     const std::string& localPath) {
  // Shared by every download of this process, so a name is never tried
  // twice; a taken name (left by an earlier process with the same id, or
  // being removed) moves on to the next.
  static std::atomic<std::uint64_t> next{0};
  const std::uint64_t processId = files.ProcessId();
  for (int attempt = 0; attempt < kPartialNameAttempts; ++attempt) {
    std::unique_ptr<TemporaryFile> file =
        files.CreateTemporaryFile(PartialDownloadPath(localPath, processId, next++));
    if (file) return file;
  }
  throw IoError(IoErrorKind::Other, 0);
}

}  // namespace

std::string AgentName(std::string_view executablePath) {
  const std::size_t slash = executablePath.find_last_of("\\/");
  return std::string(slash == std::string_view::npos ? executablePath
                                                     : executablePath.substr(slash + 1));
}

namespace {

// Borrows the session a OneSessionInternet owns.
class BorrowedSession final : public InternetSession {
 public:
  explicit BorrowedSession(InternetSession& session) : session_(session) {}
  std::unique_ptr<InternetResponse> OpenUrl(std::string_view url,
                                            std::span<const RequestHeader> headers) override {
    return session_.OpenUrl(url, headers);
  }

 private:
  InternetSession& session_;
};

std::string_view Trimmed(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

std::optional<std::uint64_t> DecimalNumber(std::string_view text) {
  if (text.empty() || text.size() > 19) return std::nullopt;
  std::uint64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
  }
  return value;
}

}  // namespace

std::unique_ptr<InternetSession> OneSessionInternet::OpenSession(std::string_view agent) {
  // One that could not be had is asked for again at the next request.
  if (!session_) session_ = platform_.OpenSession(agent);
  if (!session_) return nullptr;
  return std::make_unique<BorrowedSession>(*session_);
}

std::optional<std::uint64_t> DiskRoom::Room() {
  const std::optional<std::uint64_t> free = files_.FreeSpace(directory_);
  if (!free) return std::nullopt;
  return *free > kFreeSpaceMarginBytes ? *free - kFreeSpaceMarginBytes : 0;
}

bool DiskRoom::Holds(std::uint64_t announced) {
  const std::optional<std::uint64_t> room = Room();
  return !room || announced <= *room;
}

bool DiskRoom::Takes(std::uint64_t bytes) {
  if (bytes <= allowance_) {
    allowance_ -= bytes;
    return true;
  }
  // Asked again only every kFreeSpaceRecheckBytes: the bytes this download
  // wrote since, and any other writer's, are then counted by the disk.
  const std::optional<std::uint64_t> room = Room();
  if (room && *room < bytes) return false;
  allowance_ = std::min(room ? *room : kFreeSpaceRecheckBytes, kFreeSpaceRecheckBytes);
  allowance_ -= std::min(allowance_, bytes);
  return true;
}

TransferReport ReadResponse(Internet& internet, InternetResponse* response, std::uint64_t maxBytes,
                            const BodyReceiver& take, DiskRoom* room) {
  TransferReport report;
  if (!response) return report;
  report.status = response->StatusCode();
  report.announced = response->ContentLength();
  report.redirectedTo = response->RedirectedTo();
  const auto ended = [&report](TransferEnd end) {
    report.end = end;
    return report;
  };
  if (report.status < 200 || report.status > 299) return ended(TransferEnd::ErrorStatus);
  if (report.announced && *report.announced > maxBytes) return ended(TransferEnd::TooLarge);
  if (room && report.announced && !room->Holds(*report.announced)) {
    return ended(TransferEnd::TooLarge);
  }
  std::array<std::byte, kDownloadBlockSize> buffer{};
  TransferPace pace(internet.MonotonicMilliseconds());
  for (;;) {
    const ReadResult read = response->Read(buffer);
    if (!read.ok && read.silent) return ended(TransferEnd::TooSlow);
    if (!read.ok || read.bytes > buffer.size()) return ended(TransferEnd::BrokenOff);
    if (read.bytes == 0) break;
    if (read.bytes > maxBytes - report.bytes) return ended(TransferEnd::TooLarge);
    if (!pace.Keeps(read.bytes, internet.MonotonicMilliseconds())) {
      return ended(TransferEnd::TooSlow);
    }
    if (room && !room->Takes(read.bytes)) return ended(TransferEnd::TooLarge);
    take(std::span<const std::byte>(buffer.data(), read.bytes));
    report.bytes += read.bytes;
  }
  if (report.announced && *report.announced != report.bytes) return ended(TransferEnd::ShortBody);
  return ended(TransferEnd::Whole);
}

std::optional<ContentRange> ParseContentRange(std::string_view text) {
  text = Trimmed(text);
  constexpr std::string_view kUnit = "bytes ";
  if (text.size() < kUnit.size()) return std::nullopt;
  for (std::size_t i = 0; i < kUnit.size(); ++i) {
    if ((text[i] | 0x20) != kUnit[i]) return std::nullopt;
  }
  text = Trimmed(text.substr(kUnit.size()));
  const std::size_t dash = text.find('-');
  const std::size_t slash = text.find('/');
  if (dash == std::string_view::npos || slash == std::string_view::npos || slash < dash) {
    return std::nullopt;
  }
  const auto first = DecimalNumber(text.substr(0, dash));
  const auto last = DecimalNumber(text.substr(dash + 1, slash - dash - 1));
  const auto length = DecimalNumber(text.substr(slash + 1));
  if (!first || !last || !length || *first > *last || *last >= *length) return std::nullopt;
  return ContentRange{*first, *last, *length};
}

namespace {

// What a fetch does with the body: takes its blocks, and starts it again
// from nothing when the server sends the whole file anew.
struct BodyTarget {
  // Called once the first request is answered or refused, before any read.
  std::function<void()> answered;
  BodyReceiver take;
  std::function<void()> restart;
  DiskRoom* room = nullptr;
  // Whether a drop may be continued without a validator (see
  // DownloadToFile).
  bool continueUnproven = false;
};

// The validator a continuation's If-Range carries: the response's ETag
// when it is a strong one (a weak one may not be sent there), else its
// Last-Modified.
std::optional<std::string> ValidatorOf(const InternetResponse& response) {
  if (const auto tag = response.Header("ETag")) {
    const std::string_view value = Trimmed(*tag);
    if (!value.empty() && !value.starts_with("W/")) return std::string(value);
  }
  if (const auto modified = response.Header("Last-Modified")) {
    const std::string_view value = Trimmed(*modified);
    if (!value.empty()) return std::string(value);
  }
  return std::nullopt;
}

bool Dropped(const TransferReport& report) {
  return report.end == TransferEnd::BrokenOff || report.end == TransferEnd::ShortBody;
}

// Fetches url into target, continuing after drops; one session for the
// whole file, each response released before the next request.
TransferReport FetchBody(Internet& internet, const std::string& agent, const std::string& url,
                         std::uint64_t maxBytes, const BodyTarget& target) {
  std::unique_ptr<InternetSession> session = internet.OpenSession(agent);
  std::unique_ptr<InternetResponse> response;
  if (session) response = session->OpenUrl(url);
  if (target.answered) target.answered();
  TransferReport report = ReadResponse(internet, response.get(), maxBytes, target.take, target.room);
  std::optional<std::string> validator;
  if (response) validator = ValidatorOf(*response);
  std::optional<std::uint64_t> length = report.announced;  // of the whole file
  std::uint64_t reached = report.bytes;
  for (int continuation = 0; continuation < kMaxContinuations && Dropped(report) && reached > 0;
       ++continuation) {
    if (!validator && !target.continueUnproven) break;
    std::vector<RequestHeader> headers{{"Range", "bytes=" + std::to_string(reached) + "-"}};
    if (validator) headers.push_back({"If-Range", *validator});
    response.reset();
    response = session->OpenUrl(url, headers);
    if (!response) break;
    const int status = response->StatusCode();
    TransferReport part;
    std::uint64_t total = 0;
    if (status == 206) {
      // Appended only when it is the rest of the same file, from the
      // first byte missing to its end.
      const std::optional<ContentRange> range =
          ParseContentRange(response->Header("Content-Range").value_or(""));
      const std::optional<std::uint64_t> partLength = response->ContentLength();
      if (!range || range->first != reached || range->last + 1 != range->length ||
          (length && *length != range->length) ||
          (partLength && *partLength != range->length - range->first)) {
        break;
      }
      length = range->length;
      part = ReadResponse(internet, response.get(), maxBytes - reached, target.take, target.room);
      total = reached + part.bytes;
    } else if (status >= 200 && status <= 299) {
      // The file changed, or the server sends every file whole: it is
      // taken again from its first byte.
      target.restart();
      part = ReadResponse(internet, response.get(), maxBytes, target.take, target.room);
      validator = ValidatorOf(*response);
      length = part.announced;
      total = part.bytes;
    } else {
      report.end = TransferEnd::ErrorStatus;
      report.status = status;
      break;
    }
    report.end = part.end;
    report.status = part.status;
    report.bytes = total;
    report.announced = length;
    if (report.end == TransferEnd::Whole && length && *length != total) {
      report.end = TransferEnd::ShortBody;
    }
    if (total <= reached) break;  // got no further than the drop before
    reached = total;
  }
  return report;
}

}  // namespace

std::string PartialDownloadPath(const std::string& localPath, std::uint64_t processId,
                                std::uint64_t n) {
  return localPath + "." + std::to_string(processId) + "-" + std::to_string(n) +
         kPartialDownloadSuffix;
}

void RemoveAbandonedDownloads(FileSystem& files, const std::string& directory) {
  for (const std::string& name : files.FileNamesIn(directory)) {
    if (!name.ends_with(kPartialDownloadSuffix)) continue;
    // A running launcher's file is held, and is left to it.
    files.RemoveUnlessHeld(JoinPath(directory, files.PathSeparator(), name));
  }
}

namespace {

// The body of url in a finished temporary file beside localPath, checked;
// nothing when the transfer or the check failed.
std::unique_ptr<TemporaryFile> FetchChecked(Internet& internet, FileSystem& files,
                                            const std::string& agent, const std::string& url,
                                            const std::string& localPath,
                                            const DownloadCheck& check, std::uint64_t maxBytes) {
  // The file is created whatever the request gave, so a target that cannot
  // be written is reported as such even when the server is down. Dropped on
  // any way out before it is moved into place, it removes itself.
  std::unique_ptr<TemporaryFile> file;
  const std::size_t separator = localPath.find_last_of(files.PathSeparator());
  DiskRoom room(files, separator == std::string::npos ? "." : localPath.substr(0, separator));

  std::optional<FileHasher> hasher;
  if (check) hasher.emplace();
  BodyTarget target;
  target.answered = [&] { file = CreatePartialDownload(files, localPath); };
  target.take = [&](std::span<const std::byte> block) {
    file->Write(block);
    if (hasher) hasher->Update(block);
  };
  target.restart = [&] {
    file = CreatePartialDownload(files, localPath);
    if (hasher) hasher.emplace();
  };
  target.room = &room;
  target.continueUnproven = static_cast<bool>(check);
  const bool complete = FetchBody(internet, agent, url, maxBytes, target).end == TransferEnd::Whole;
  file->Finish();
  if (!complete) return nullptr;
  // Checked before it is kept: a file that fails is never moved into place.
  if (check && !check(hasher->Finish())) return nullptr;
  return file;
}

}  // namespace

bool DownloadToFile(Internet& internet, FileSystem& files, const std::string& agent,
                    const std::string& url, const std::string& localPath,
                    const DownloadCheck& check, std::uint64_t maxBytes) {
  // A blank name leaves the working directory itself as the target. There is
  // no file to put a temporary one beside, so the target is created as it
  // stands, which the platform refuses with its own error.
  if (localPath.empty() || localPath.back() == '/' || localPath.back() == files.PathSeparator()) {
    files.CreateOutputFile(localPath)->Close();
    return false;
  }
  const bool wasThere = files.FileExists(localPath);
  std::unique_ptr<TemporaryFile> file =
      FetchChecked(internet, files, agent, url, localPath, check, maxBytes);
  if (!file) return false;
  try {
    file->MoveInto(localPath);
  } catch (const IoError& error) {
    // Another launcher that brought in the same file a moment earlier can
    // still hold it, and the platform will not move anything over it: what
    // it put there is checked as these bytes were, and kept.
    if (wasThere || error.Kind() != IoErrorKind::AccessDenied || !files.FileExists(localPath)) {
      throw;
    }
    return !check || check(HashOfFile(files, localPath));
  }
  return true;
}

FileHash HashOfFile(FileSystem& files, const std::string& path) {
  FileHasher hasher;
  files.ReadInBlocks(path, [&hasher](std::span<const std::byte> block) { hasher.Update(block); });
  return hasher.Finish();
}

Replacement ReplaceByDownload(Internet& internet, FileSystem& files, const std::string& agent,
                              const std::string& url, const std::string& localPath,
                              const DownloadCheck& check) {
  std::unique_ptr<TemporaryFile> file =
      FetchChecked(internet, files, agent, url, localPath, check, kNoSizeLimit);
  if (!file) return Replacement::Failed;
  try {
    file->MoveInto(localPath);
  } catch (const IoError& error) {
    if (error.Kind() != IoErrorKind::AccessDenied) throw;
    return Replacement::Held;
  }
  return Replacement::Replaced;
}

SmallFile FetchSmallFile(Internet& internet, const std::string& agent, const std::string& url,
                         std::size_t maxBytes) {
  std::string body;
  BodyTarget target;
  target.take = [&body](std::span<const std::byte> block) {
    body.append(reinterpret_cast<const char*>(block.data()), block.size());
  };
  target.restart = [&body] { body.clear(); };
  SmallFile fetched;
  fetched.transfer = FetchBody(internet, agent, url, maxBytes, target);
  if (fetched.transfer.end == TransferEnd::Whole) fetched.body = std::move(body);
  return fetched;
}

void WriteFileReplacing(FileSystem& files, const std::string& path, std::string_view bytes) {
  std::unique_ptr<TemporaryFile> file = CreatePartialDownload(files, path);
  file->Write(std::as_bytes(std::span<const char>(bytes.data(), bytes.size())));
  file->Finish();
  file->MoveInto(path);
}

}  // namespace kestrune
