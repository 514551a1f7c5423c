#include "update/download.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>

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

TransferReport ReadResponse(Internet& internet, InternetResponse* response, std::uint64_t maxBytes,
                            const BodyReceiver& take) {
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
  std::array<std::byte, kDownloadBlockSize> buffer{};
  TransferPace pace(internet.MonotonicMilliseconds());
  for (;;) {
    const ReadResult read = response->Read(buffer);
    if (!read.ok || read.bytes > buffer.size()) return ended(TransferEnd::BrokenOff);
    if (read.bytes == 0) break;
    if (read.bytes > maxBytes - report.bytes) return ended(TransferEnd::TooLarge);
    if (!pace.Keeps(read.bytes, internet.MonotonicMilliseconds())) {
      return ended(TransferEnd::TooSlow);
    }
    take(std::span<const std::byte>(buffer.data(), read.bytes));
    report.bytes += read.bytes;
  }
  if (report.announced && *report.announced != report.bytes) return ended(TransferEnd::ShortBody);
  return ended(TransferEnd::Whole);
}

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
  // The response is declared after the session, so it is released first.
  std::unique_ptr<InternetSession> session = internet.OpenSession(agent);
  std::unique_ptr<InternetResponse> response;
  if (session) response = session->OpenUrl(url);

  // The file is created whatever the transfer gave, so a target that cannot
  // be written is reported as such even when the server is down. Dropped
  // on any way out before it is moved into place, it removes itself.
  std::unique_ptr<TemporaryFile> file = CreatePartialDownload(files, localPath);

  std::optional<FileHasher> hasher;
  if (check) hasher.emplace();
  const bool complete =
      ReadResponse(internet, response.get(), maxBytes, [&](std::span<const std::byte> block) {
        file->Write(block);
        if (hasher) hasher->Update(block);
      }).end == TransferEnd::Whole;
  file->Finish();
  response.reset();
  session.reset();
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
  std::unique_ptr<InternetSession> session = internet.OpenSession(agent);
  std::unique_ptr<InternetResponse> response;
  if (session) response = session->OpenUrl(url);
  std::string body;
  SmallFile fetched;
  fetched.transfer =
      ReadResponse(internet, response.get(), maxBytes, [&body](std::span<const std::byte> block) {
        body.append(reinterpret_cast<const char*>(block.data()), block.size());
      });
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
