#include "platform/posix/posix_curl_internet.h"

#include <curl/curl.h>

#include "platform/posix/posix_curl_transfer.h"

namespace kestrune::posix {

namespace {

class CurlSession final : public InternetSession {
 public:
  CurlSession(const CurlOptions& options, std::string agent)
      : options_(options), agent_(std::move(agent)) {}

  std::unique_ptr<InternetResponse> OpenUrl(std::string_view url) override {
    // The core gives every address ready to send.
    return CurlTransfer::Open(std::string(url), agent_, options_);
  }

 private:
  const CurlOptions& options_;
  std::string agent_;
};

}  // namespace

CurlInternet::CurlInternet(CurlOptions options) : options_(std::move(options)) {
  initialised_ = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
}

CurlInternet::~CurlInternet() {
  if (initialised_) curl_global_cleanup();
}

std::unique_ptr<InternetSession> CurlInternet::OpenSession(std::string_view agent) {
  if (!initialised_) return nullptr;
  return std::make_unique<CurlSession>(options_, std::string(agent));
}

std::uint64_t CurlInternet::MonotonicMilliseconds() {
  return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        std::chrono::steady_clock::now().time_since_epoch())
                                        .count());
}

}  // namespace kestrune::posix
