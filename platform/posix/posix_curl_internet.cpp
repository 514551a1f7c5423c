#include "platform/posix/posix_curl_internet.h"

#include <curl/curl.h>

#include "platform/posix/posix_curl_transfer.h"

namespace kestrune::posix {

namespace {

// The session owns the share handle that holds the connection cache of
// every transfer it opens, so a connection stays open from one request to
// the next. One thread only: the cache needs no lock.
class CurlSession final : public InternetSession {
 public:
  CurlSession(const CurlOptions& options, std::string agent,
              std::unique_ptr<CURLSH, CurlShareCleanup> share)
      : options_(options), agent_(std::move(agent)), share_(std::move(share)) {}

  std::unique_ptr<InternetResponse> OpenUrl(std::string_view url,
                                            std::span<const RequestHeader> headers) override {
    // The core gives every address ready to send.
    return CurlTransfer::Open(share_.get(), std::string(url), agent_, headers, options_);
  }

 private:
  const CurlOptions& options_;
  std::string agent_;
  std::unique_ptr<CURLSH, CurlShareCleanup> share_;
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
  std::unique_ptr<CURLSH, CurlShareCleanup> share(curl_share_init());
  if (!share ||
      curl_share_setopt(share.get(), CURLSHOPT_SHARE, CURL_LOCK_DATA_CONNECT) != CURLSHE_OK ||
      curl_share_setopt(share.get(), CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS) != CURLSHE_OK) {
    return nullptr;
  }
  return std::make_unique<CurlSession>(options_, std::string(agent), std::move(share));
}

std::uint64_t CurlInternet::MonotonicMilliseconds() {
  return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        std::chrono::steady_clock::now().time_since_epoch())
                                        .count());
}

}  // namespace kestrune::posix
