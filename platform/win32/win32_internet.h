// The internet services on WinINet.
#pragma once

#include <chrono>

#include "common/internet.h"

namespace kestrune::win32 {

struct Win32InternetOptions {
  // A transfer that receives nothing for this long is broken off; the
  // connection and the request are held to the same limit.
  std::chrono::seconds noDataTimeout{kNoDataTimeoutSeconds};
  // The final response's status and headers must have arrived this long
  // after the request was sent.
  std::chrono::seconds headerDeadline{kHeaderDeadlineSeconds};
};

class Win32Internet final : public Internet {
 public:
  explicit Win32Internet(Win32InternetOptions options = {}) : options_(options) {}

  std::unique_ptr<InternetSession> OpenSession(std::string_view agent) override;
  std::uint64_t MonotonicMilliseconds() override;

 private:
  Win32InternetOptions options_;
};

}  // namespace kestrune::win32
