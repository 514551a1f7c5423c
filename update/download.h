// One HTTP transfer into one local file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "common/file_system.h"
#include "common/internet.h"
#include "update/minisign.h"

namespace kestrune {

// Every transfer goes through one buffer of this size; each block is
// written before the next is read, so memory does not grow with the file.
inline constexpr std::size_t kDownloadBlockSize = 1024;

// The agent name sent with every request: the running program's file name.
std::string AgentName(std::string_view executablePath);

// The internet of one start: every session asked of it is the one the
// platform opened at the first request, so every request of the start goes
// out on one connection, kept open between requests where the server
// allows it. That session is owned here, named by the first agent asked
// for, and released with this object; what OpenSession hands out borrows
// it. Requests stay one after another: each response is released before
// the next request is sent.
class OneSessionInternet final : public Internet {
 public:
  explicit OneSessionInternet(Internet& platform) : platform_(platform) {}
  OneSessionInternet(const OneSessionInternet&) = delete;
  OneSessionInternet& operator=(const OneSessionInternet&) = delete;

  std::unique_ptr<InternetSession> OpenSession(std::string_view agent) override;
  std::uint64_t MonotonicMilliseconds() override { return platform_.MonotonicMilliseconds(); }

 private:
  Internet& platform_;
  std::unique_ptr<InternetSession> session_;
};

// A transfer that ends early after bytes arrived (a reset, a close before
// the announced length, a chunked body cut off) is continued from the
// bytes it has, this many times at most, and only while each continuation
// gets further than the one before. A silent or too slow server is not
// asked again.
inline constexpr int kMaxContinuations = 5;

// How often a download asks the disk again how much room is left.
inline constexpr std::uint64_t kFreeSpaceRecheckBytes = std::uint64_t{1} << 20;

// The room a download may take on the disk its file is on: all but
// kFreeSpaceMarginBytes of what is free.
class DiskRoom {
 public:
  DiskRoom(FileSystem& files, std::string directory)
      : files_(files), directory_(std::move(directory)) {}
  // Whether a body of this announced length fits.
  bool Holds(std::uint64_t announced);
  // Whether bytes more may be written now; counts them.
  bool Takes(std::uint64_t bytes);

 private:
  // What the disk has beyond the margin; nothing when it cannot tell.
  std::optional<std::uint64_t> Room();

  FileSystem& files_;
  std::string directory_;
  std::uint64_t allowance_ = 0;  // bytes that may be written before asking again
};

// How one transfer ended, so that a refusal can be told by its cause.
enum class TransferEnd {
  Whole,        // a 2xx status and the whole body, as long as announced
  NotOpened,    // no session, or the address could not be opened
  ErrorStatus,  // not a 2xx status: an error page is never read as the file
  TooLarge,     // announced or sent more than the limit, or than the disk
                // has room for; the rest unread
  TooSlow,      // fell below the slowest pace (see kSlowestBytesPerSecond),
                // or nothing arrived for kNoDataTimeoutSeconds
  ShortBody,    // ended before the length the server announced
  BrokenOff,    // a read failed
};

struct TransferReport {
  TransferEnd end = TransferEnd::NotOpened;
  int status = 0;
  std::optional<std::uint64_t> announced;
  std::uint64_t bytes = 0;   // of the body, handed on
  std::string redirectedTo;  // see InternetResponse::RedirectedTo
};

// The one rule for what a response must be to be taken as a file: reads the
// body of response (nullptr: it could not be opened) and hands it to take
// block by block through one fixed buffer, never more than maxBytes, so
// memory does not grow with the file; with room, never more than the disk
// has room for.
using BodyReceiver = std::function<void(std::span<const std::byte> block)>;
TransferReport ReadResponse(Internet& internet, InternetResponse* response, std::uint64_t maxBytes,
                            const BodyReceiver& take, DiskRoom* room = nullptr);

// The first and last byte and the file's length a 206 response's
// Content-Range names ("bytes 100-999/1000"); nothing for any other form.
struct ContentRange {
  std::uint64_t first = 0;
  std::uint64_t last = 0;
  std::uint64_t length = 0;
};
std::optional<ContentRange> ParseContentRange(std::string_view text);

// Fetches url and stores its body at localPath. True only when a 2xx
// response arrived whole (as long as it announced, if it announced a
// length); then localPath holds exactly the body, replacing any earlier
// file. On false, localPath is untouched: the body goes to a temporary file
// beside it that is moved into place only on success and removed otherwise.
// Throws IoError when the local file cannot be created, written, closed or
// moved into place; every handle is released on every way out. A localPath
// ending in a separator names a folder, which cannot be written as a file:
// the platform's own I/O error for creating it is raised before any request.
//
// With a check, the body's BLAKE2b-512 hash is worked out as it arrives and
// handed to the check once the transfer is complete and its handles are
// released; only when the check agrees is the file moved into place. A body
// longer than maxBytes fails, found out without reading the rest; so does a
// transfer slower than the slowest pace (see kSlowestBytesPerSecond), and
// one that would leave less than kFreeSpaceMarginBytes free on the disk.
// A transfer that drops part-way is continued (see kMaxContinuations) with
// a Range request guarded by If-Range and the response's validator; one
// without a validator is continued only with a check, which proves the
// whole file anyway.
using DownloadCheck = std::function<bool(const FileHash& hash)>;
inline constexpr std::uint64_t kNoSizeLimit = UINT64_MAX;
bool DownloadToFile(Internet& internet, FileSystem& files, const std::string& agent,
                    const std::string& url, const std::string& localPath,
                    const DownloadCheck& check = {}, std::uint64_t maxBytes = kNoSizeLimit);

// The hash of a file's bytes, read block by block; throws IoError.
FileHash HashOfFile(FileSystem& files, const std::string& path);

// How a download over a file that is there ended.
enum class Replacement { Replaced, Failed, Held };

// As DownloadToFile, for a file that is there and is to be replaced: the
// old file stays until the new one is checked and moved over it. When the
// platform will not move anything over it (access denied: on Windows, a
// running program holds it), the old file stays as it was, the new bytes
// are dropped, and Held is returned.
Replacement ReplaceByDownload(Internet& internet, FileSystem& files, const std::string& agent,
                              const std::string& url, const std::string& localPath,
                              const DownloadCheck& check);

// The body of a small file (a signature, a list) in memory, when the
// transfer ended Whole; a body longer than maxBytes is found out without
// reading the rest.
struct SmallFile {
  std::optional<std::string> body;
  TransferReport transfer;
};
SmallFile FetchSmallFile(Internet& internet, const std::string& agent, const std::string& url,
                         std::size_t maxBytes);

// Writes bytes to a temporary file beside path and moves it over path, so
// path holds either its old content or all of the new; throws IoError.
void WriteFileReplacing(FileSystem& files, const std::string& path, std::string_view bytes);

// What a download's temporary name adds to the name of its file. No entry
// name may end with it (see IsSafeEntryName).
inline constexpr char kPartialDownloadSuffix[] = ".kestrune-part";

// The n-th temporary name process processId tries for a download of
// localPath: "<localPath>.<processId>-<n>.kestrune-part". Two running
// launchers never try the same name, and one process never twice.
std::string PartialDownloadPath(const std::string& localPath, std::uint64_t processId,
                                std::uint64_t n);

// Removes the temporary downloads in directory that no running launcher
// holds: what a launcher that was killed or lost its power left behind.
void RemoveAbandonedDownloads(FileSystem& files, const std::string& directory);

}  // namespace kestrune
