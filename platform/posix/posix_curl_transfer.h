// One GET over libcurl's multi interface, driven by the reader's calls:
// nothing runs in the background, and at most one of libcurl's blocks
// (16 KiB) waits here at a time, the transfer being paused until it is
// read, so memory stays flat whatever the file's size.
#pragma once

#include <curl/curl.h>

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
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

class CurlTransfer final : public InternetResponse {
 public:
  // Sends the request and returns once the final response's status is
  // known; nullptr when no response arrives (refused, unreachable, TLS
  // failure, too many redirects, timeout).
  static std::unique_ptr<CurlTransfer> Open(const std::string& url, const std::string& agent,
                                            const CurlOptions& options);
  ~CurlTransfer() override;
  CurlTransfer(const CurlTransfer&) = delete;
  CurlTransfer& operator=(const CurlTransfer&) = delete;

  int StatusCode() const override { return status_; }
  std::optional<std::uint64_t> ContentLength() const override { return contentLength_; }
  ReadResult Read(std::span<std::byte> buffer) override;
  std::string RedirectedTo() const override { return redirectedTo_; }

 private:
  CurlTransfer() = default;
  bool Configure(const std::string& url, const std::string& agent, const CurlOptions& options);
  // One round of work: lets libcurl do what it can, then waits briefly for
  // the socket when that brought nothing new.
  void Step();
  void Resume();

  static std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* self);
  static std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* self);

  // Declared first so the easy handle goes before the multi handle; the
  // destructor detaches it before either.
  std::unique_ptr<CURLM, CurlMultiCleanup> multi_;
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

  int status_ = 0;
  std::optional<std::uint64_t> contentLength_;
  std::string redirectedTo_;
};

}  // namespace kestrune::posix
