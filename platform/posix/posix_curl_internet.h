// The internet services over libcurl, behaving as WinINet does for the
// launcher: the caller's agent name, the system's proxy settings (libcurl's
// own *_proxy handling), redirects followed, certificates checked against
// the system's store, and a transfer given up when nothing arrives.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <string_view>

#include "common/internet.h"

namespace kestrune::posix {

struct CurlOptions {
  // A transfer that receives nothing for this long is broken off.
  std::chrono::seconds noDataTimeout{kNoDataTimeoutSeconds};
  std::chrono::seconds connectTimeout{kNoDataTimeoutSeconds};
  // The final response's status and headers must have arrived this long
  // after the request was sent.
  std::chrono::seconds headerDeadline{kHeaderDeadlineSeconds};
  // More redirects than this make the request fail (a loop does).
  long maxRedirects = 10;
  // A PEM bundle of trusted authorities to use instead of the system's
  // store; empty in the program, set by tests that run their own CA.
  std::string caFile;
};

class CurlInternet final : public Internet {
 public:
  explicit CurlInternet(CurlOptions options = {});
  ~CurlInternet() override;
  CurlInternet(const CurlInternet&) = delete;
  CurlInternet& operator=(const CurlInternet&) = delete;

  std::unique_ptr<InternetSession> OpenSession(std::string_view agent) override;
  std::uint64_t MonotonicMilliseconds() override;

 private:
  CurlOptions options_;
  bool initialised_ = false;
};

}  // namespace kestrune::posix
