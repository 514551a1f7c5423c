// The internet service the download runs on (WinINet, libcurl).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace kestrune {

// Limits every transfer keeps, the same on both builds, so that a server
// that stops sending, or trickles, cannot hold a hidden launcher for ever:
// a transfer is given up when nothing arrives for kNoDataTimeoutSeconds (the
// platform's own timeout), and when fewer than kSlowestBytesPerSecond arrive
// on average over any kSlowTransferWindowSeconds (the download's own check).
inline constexpr int kNoDataTimeoutSeconds = 60;
inline constexpr std::uint64_t kSlowestBytesPerSecond = 1024;
inline constexpr int kSlowTransferWindowSeconds = 60;
// The status line and every header of a response, those of the redirects
// followed included, must arrive within this long of the request being
// sent: each header line restarts the no-data clock, so a server sending
// one a minute would otherwise hold the launcher for ever.
inline constexpr int kHeaderDeadlineSeconds = 60;

struct ReadResult {
  bool ok = false;        // false: the transfer broke off
  std::size_t bytes = 0;  // bytes delivered into the buffer; 0 with ok = end
  // With ok = false: nothing arrived for kNoDataTimeoutSeconds. A silent
  // server is not asked again, where a dropped connection is.
  bool silent = false;
};

// A header a request adds to the plain GET (a continuation's Range).
struct RequestHeader {
  std::string name;
  std::string value;
};

// The body of one response (a WinINet URL handle, a libcurl transfer).
// Destroying it releases the handle.
class InternetResponse {
 public:
  virtual ~InternetResponse() = default;
  // Final status after the redirects the platform follows (200, 404, ...).
  virtual int StatusCode() const = 0;
  // Length the server announced for the body, when it announced one.
  virtual std::optional<std::uint64_t> ContentLength() const = 0;
  // Blocks until some bytes, the end, or a failure.
  virtual ReadResult Read(std::span<std::byte> buffer) = 0;
  // The address the final response came from when the platform followed
  // redirects to reach it; empty when the address opened answered itself,
  // as it always does for a service that follows none.
  virtual std::string RedirectedTo() const { return {}; }
  // The value of the final response's header name (matched without regard
  // to case), when it has one.
  virtual std::optional<std::string> Header(std::string_view name) const = 0;
};

// An internet session (InternetOpen). Destroying it releases the handle;
// a response must be destroyed before the session that opened it, and
// before the session opens the next one. A session keeps its connection
// open between requests where the server allows it.
class InternetSession {
 public:
  virtual ~InternetSession() = default;
  // A GET with the platform's defaults and headers added; nullptr when the
  // address cannot be opened at all (bad address, refused, unreachable, no
  // status and headers within kHeaderDeadlineSeconds).
  virtual std::unique_ptr<InternetResponse> OpenUrl(std::string_view url,
                                                    std::span<const RequestHeader> headers) = 0;
  std::unique_ptr<InternetResponse> OpenUrl(std::string_view url) { return OpenUrl(url, {}); }
};

class Internet {
 public:
  virtual ~Internet() = default;
  // nullptr when no session can be had.
  virtual std::unique_ptr<InternetSession> OpenSession(std::string_view agent) = 0;
  // A steady clock that transfers are paced by, in milliseconds from any
  // fixed moment.
  virtual std::uint64_t MonotonicMilliseconds() = 0;
};

}  // namespace kestrune
