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

struct ReadResult {
  bool ok = false;        // false: the transfer broke off
  std::size_t bytes = 0;  // bytes delivered into the buffer; 0 with ok = end
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
};

// An internet session (InternetOpen). Destroying it releases the handle;
// a response must be destroyed before the session that opened it.
class InternetSession {
 public:
  virtual ~InternetSession() = default;
  // A plain GET with the platform's defaults; nullptr when the address
  // cannot be opened at all (bad address, refused, unreachable).
  virtual std::unique_ptr<InternetResponse> OpenUrl(std::string_view url) = 0;
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
