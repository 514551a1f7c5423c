// The slowest pace a transfer may keep: a server that trickles a byte now
// and then would otherwise hold a hidden launcher for ever, since each byte
// restarts the platform's no-data timeout.
#pragma once

#include <cstdint>

#include "common/internet.h"

namespace kestrune {

class TransferPace {
 public:
  explicit TransferPace(std::uint64_t startMilliseconds) : windowStart_(startMilliseconds) {}

  // Counts bytes that arrived at nowMilliseconds. False once a whole window
  // of kSlowTransferWindowSeconds has passed with fewer than
  // kSlowestBytesPerSecond a second on average in it.
  bool Keeps(std::uint64_t bytes, std::uint64_t nowMilliseconds) {
    constexpr std::uint64_t kWindowMs = std::uint64_t{kSlowTransferWindowSeconds} * 1000;
    constexpr std::uint64_t kWindowBytes = kSlowestBytesPerSecond * kSlowTransferWindowSeconds;
    const std::uint64_t elapsed =
        nowMilliseconds > windowStart_ ? nowMilliseconds - windowStart_ : 0;
    if (elapsed >= kWindowMs) {
      // The bytes that came with this read count for the window that ends now.
      if (inWindow_ + bytes < kWindowBytes * elapsed / kWindowMs) return false;
      windowStart_ = nowMilliseconds;
      inWindow_ = 0;
      return true;
    }
    inWindow_ += bytes;
    return true;
  }

 private:
  std::uint64_t windowStart_;
  std::uint64_t inWindow_ = 0;
};

}  // namespace kestrune
