// One GET over libcurl's multi interface, with the connection cache of its
// session's share handle, driven by the reader's calls:
// nothing runs in the background, and at most one of libcurl's blocks
// (16 KiB) waits here at a time, the transfer being paused until it is
// read, so memory stays flat whatever the file's size.
#pragma once

#include <curl/curl.h>

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <utility>
#include <string>
#include <vector>

#include "platform/posix/posix_curl_internet.h"
#include "common/internet.h"

namespace kestrune::posix {

struct CurlEasyCleanup {
  void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct CurlMultiCleanup {
  void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
struct CurlShareCleanup {
  void operator()(CURLSH* share) const { curl_share_cleanup(share); }
};
struct CurlListCleanup {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

class CurlTransfer final : public InternetResponse {
 public:
  // Sends the request and returns once the final response's status is
  // known; nullptr when no response arrives (refused, unreachable, TLS
  // failure, too many redirects, timeout, headers past their deadline).
  // share must outlive the transfer.
  static std::unique_ptr<CurlTransfer> Open(CURLSH* share, const std::string& url,
                                            const std::string& agent,
                                            std::span<const RequestHeader> headers,
                                            const CurlOptions& options);
  ~CurlTransfer() override;
  CurlTransfer(const CurlTransfer&) = delete;
  CurlTransfer& operator=(const CurlTransfer&) = delete;

  int StatusCode() const override { return status_; }
  std::optional<std::uint64_t> ContentLength() const override { return contentLength_; }
  ReadResult Read(std::span<std::byte> buffer) override;
  std::string RedirectedTo() const override { return redirectedTo_; }
  std::optional<std::string> Header(std::string_view name) const override;

 private:
  CurlTransfer() = default;
  bool Configure(CURLSH* share, const std::string& url, const std::string& agent,
                 std::span<const RequestHeader> headers, const CurlOptions& options);
  // One round of work: lets libcurl do what it can, then waits briefly for
  // the socket when that brought nothing new.
  void Step();
  void Resume();

  static std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* self);
  static std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* self);

  // Declared first so the easy handle goes before the multi handle, and the
  // request's header list after the easy handle that sends it; the
  // destructor detaches the easy handle before any of them.
  std::unique_ptr<CURLM, CurlMultiCleanup> multi_;
  std::unique_ptr<curl_slist, CurlListCleanup> requestHeaders_;
  std::unique_ptr<CURL, CurlEasyCleanup> easy_;
  bool attached_ = false;

  std::vector<std::byte> pending_;
  std::size_t pendingRead_ = 0;
  bool paused_ = false;
  bool sawLocation_ = false;
  bool finalHeaders_ = false;
  bool finished_ = false;
  CURLcode result_ = CURLE_OK;

  // When bytes last arrived (or the reader last took some); the transfer
  // is broken off when nothing arrives for noDataTimeout_.
  std::chrono::steady_clock::time_point lastActivity_;
  std::chrono::milliseconds noDataTimeout_{0};
  // Until the final headers are in, the poll also wakes for their deadline.
  std::chrono::steady_clock::time_point headersDue_;

  // The headers of the latest response, names in lower case.
  std::vector<std::pair<std::string, std::string>> headers_;

  int status_ = 0;
  std::optional<std::uint64_t> contentLength_;
  std::string redirectedTo_;
};

}  // namespace kestrune::posix
