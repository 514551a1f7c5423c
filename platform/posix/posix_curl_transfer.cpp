#include "platform/posix/posix_curl_transfer.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string_view>

namespace kestrune::posix {

namespace {

// The longest libcurl waits in one poll before the loop looks again; the
// transfer's own timeouts decide when to give up, not this.
constexpr int kPollMilliseconds = 1000;

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    const auto a = static_cast<unsigned char>(text[i]);
    const auto b = static_cast<unsigned char>(prefix[i]);
    if ((a | 0x20) != (b | 0x20)) return false;
  }
  return true;
}

template <typename T>
void SetOption(CURL* easy, CURLoption option, T value, bool& ok) {
  if (curl_easy_setopt(easy, option, value) != CURLE_OK) ok = false;
}

}  // namespace

std::unique_ptr<CurlTransfer> CurlTransfer::Open(CURLSH* share, const std::string& url,
                                                 const std::string& agent,
                                                 std::span<const RequestHeader> headers,
                                                 const CurlOptions& options) {
  std::unique_ptr<CurlTransfer> transfer(new CurlTransfer());
  transfer->headersDue_ = std::chrono::steady_clock::now() + options.headerDeadline;
  if (!transfer->Configure(share, url, agent, headers, options)) return nullptr;

  while (!transfer->finalHeaders_ && !transfer->finished_) {
    // Header lines keep the no-data clock going; only this ends a server
    // that sends them one by one, slowly.
    if (std::chrono::steady_clock::now() >= transfer->headersDue_) return nullptr;
    transfer->Step();
  }
  if (!transfer->finalHeaders_ && transfer->result_ != CURLE_OK) return nullptr;

  long code = 0;
  curl_easy_getinfo(transfer->easy_.get(), CURLINFO_RESPONSE_CODE, &code);
  if (code <= 0) return nullptr;
  transfer->status_ = static_cast<int>(code);
  curl_off_t length = -1;
  // -1 when the final response named no length (chunked, or read to close).
  if (curl_easy_getinfo(transfer->easy_.get(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) ==
          CURLE_OK &&
      length >= 0) {
    transfer->contentLength_ = static_cast<std::uint64_t>(length);
  }
  long redirects = 0;
  char* finalUrl = nullptr;
  if (curl_easy_getinfo(transfer->easy_.get(), CURLINFO_REDIRECT_COUNT, &redirects) == CURLE_OK &&
      redirects > 0 &&
      curl_easy_getinfo(transfer->easy_.get(), CURLINFO_EFFECTIVE_URL, &finalUrl) == CURLE_OK &&
      finalUrl) {
    transfer->redirectedTo_ = finalUrl;
  }
  return transfer;
}

bool CurlTransfer::Configure(CURLSH* share, const std::string& url, const std::string& agent,
                             std::span<const RequestHeader> headers, const CurlOptions& options) {
  multi_.reset(curl_multi_init());
  easy_.reset(curl_easy_init());
  if (!multi_ || !easy_) return false;
  for (const RequestHeader& header : headers) {
    const std::string line = header.name + ": " + header.value;
    curl_slist* longer = curl_slist_append(requestHeaders_.get(), line.c_str());
    if (!longer) return false;
    (void)requestHeaders_.release();  // now part of longer
    requestHeaders_.reset(longer);
  }
  pending_.reserve(CURL_MAX_WRITE_SIZE);

  CURL* easy = easy_.get();
  bool ok = true;
  SetOption(easy, CURLOPT_URL, url.c_str(), ok);
  SetOption(easy, CURLOPT_USERAGENT, agent.c_str(), ok);
  SetOption(easy, CURLOPT_SHARE, share, ok);
  SetOption(easy, CURLOPT_PROTOCOLS_STR, "http,https", ok);
  // An https request is never followed down to plain http, which anyone on
  // the path could answer; WinINet refuses that redirect too.
  SetOption(easy, CURLOPT_REDIR_PROTOCOLS_STR,
            StartsWithNoCase(url, "https:") ? "https" : "http,https", ok);
  SetOption(easy, CURLOPT_FOLLOWLOCATION, 1L, ok);
  SetOption(easy, CURLOPT_MAXREDIRS, options.maxRedirects, ok);
  SetOption(easy, CURLOPT_CONNECTTIMEOUT, static_cast<long>(options.connectTimeout.count()), ok);
  // The no-data timeout is kept here rather than with libcurl's low-speed
  // limit, which averages over a window of several seconds and so gives up
  // well after the moment the last byte arrived.
  noDataTimeout_ = options.noDataTimeout;
  lastActivity_ = std::chrono::steady_clock::now();
  SetOption(easy, CURLOPT_NOSIGNAL, 1L, ok);
  // A proxy's answer to CONNECT is not the server's response; keeping it
  // out of the header callback leaves only real responses to judge there.
  SetOption(easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L, ok);
  // NB: peer and host verification stay at libcurl's default (on). Only the
  // set of trusted authorities may be replaced, never the check itself.
  if (!options.caFile.empty()) SetOption(easy, CURLOPT_CAINFO, options.caFile.c_str(), ok);
  SetOption(easy, CURLOPT_HEADERFUNCTION, &CurlTransfer::OnHeader, ok);
  SetOption(easy, CURLOPT_HEADERDATA, static_cast<void*>(this), ok);
  SetOption(easy, CURLOPT_WRITEFUNCTION, &CurlTransfer::OnBody, ok);
  SetOption(easy, CURLOPT_WRITEDATA, static_cast<void*>(this), ok);
  if (requestHeaders_) SetOption(easy, CURLOPT_HTTPHEADER, requestHeaders_.get(), ok);
  if (!ok) return false;

  if (curl_multi_add_handle(multi_.get(), easy) != CURLM_OK) return false;
  attached_ = true;
  return true;
}

CurlTransfer::~CurlTransfer() {
  if (attached_) curl_multi_remove_handle(multi_.get(), easy_.get());
}

std::optional<std::string> CurlTransfer::Header(std::string_view name) const {
  for (const auto& [key, value] : headers_) {
    if (key.size() == name.size() && StartsWithNoCase(key, name)) return value;
  }
  return std::nullopt;
}

void CurlTransfer::Step() {
  int running = 0;
  if (curl_multi_perform(multi_.get(), &running) != CURLM_OK) {
    finished_ = true;
    result_ = CURLE_FAILED_INIT;
    return;
  }
  int queued = 0;
  while (CURLMsg* message = curl_multi_info_read(multi_.get(), &queued)) {
    if (message->msg == CURLMSG_DONE) {
      finished_ = true;
      result_ = message->data.result;
    }
  }
  if (finished_ || running == 0) {
    finished_ = true;
    return;
  }
  if (pendingRead_ < pending_.size() || paused_) return;

  const auto now = std::chrono::steady_clock::now();
  const auto quiet = now - lastActivity_;
  if (quiet >= noDataTimeout_) {
    finished_ = true;
    result_ = CURLE_OPERATION_TIMEDOUT;
    return;
  }
  auto left = std::chrono::ceil<std::chrono::milliseconds>(noDataTimeout_ - quiet);
  if (!finalHeaders_) {
    left = std::min(left, std::chrono::ceil<std::chrono::milliseconds>(headersDue_ - now));
    left = std::max(left, std::chrono::milliseconds(0));
  }
  const auto wait = std::min<std::chrono::milliseconds::rep>(left.count(), kPollMilliseconds);
  curl_multi_poll(multi_.get(), nullptr, 0, static_cast<int>(wait), nullptr);
}

void CurlTransfer::Resume() {
  paused_ = false;
  // The time the reader spent on the held-back block is not the server's.
  lastActivity_ = std::chrono::steady_clock::now();
  // libcurl may hand over the held-back block from inside this call.
  if (curl_easy_pause(easy_.get(), CURLPAUSE_CONT) != CURLE_OK) {
    finished_ = true;
    result_ = CURLE_RECV_ERROR;
  }
}

ReadResult CurlTransfer::Read(std::span<std::byte> buffer) {
  if (buffer.empty()) return {true, 0};
  for (;;) {
    if (pendingRead_ < pending_.size()) {
      const std::size_t count = std::min(buffer.size(), pending_.size() - pendingRead_);
      std::memcpy(buffer.data(), pending_.data() + pendingRead_, count);
      pendingRead_ += count;
      return {true, count};
    }
    if (paused_) {
      Resume();
      continue;
    }
    if (finished_) return {result_ == CURLE_OK, 0, result_ == CURLE_OPERATION_TIMEDOUT};
    Step();
  }
}

std::size_t CurlTransfer::OnHeader(char* data, std::size_t size, std::size_t count, void* self) {
  auto* transfer = static_cast<CurlTransfer*>(self);
  const std::string_view line(data, size * count);
  transfer->lastActivity_ = std::chrono::steady_clock::now();
  if (line.starts_with("HTTP/")) {
    transfer->sawLocation_ = false;
    transfer->headers_.clear();
  } else if (const std::size_t colon = line.find(':');
             colon != std::string_view::npos && colon > 0) {
    std::string name(line.substr(0, colon));
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::string_view value = line.substr(colon + 1);
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
    while (!value.empty() && (value.back() == '\r' || value.back() == '\n' || value.back() == ' ')) {
      value.remove_suffix(1);
    }
    if (name == "location") transfer->sawLocation_ = true;
    try {
      transfer->headers_.emplace_back(std::move(name), std::string(value));
    } catch (...) {
      return 0;  // libcurl ends the transfer with an error
    }
  } else if (line == "\r\n" || line == "\n") {
    // The end of one response's headers. It is the final one unless it is
    // interim (1xx) or a redirect libcurl is about to follow.
    long code = 0;
    curl_easy_getinfo(transfer->easy_.get(), CURLINFO_RESPONSE_CODE, &code);
    const bool followed = code >= 300 && code < 400 && transfer->sawLocation_;
    if (code >= 200 && !followed) transfer->finalHeaders_ = true;
  }
  return line.size();
}

std::size_t CurlTransfer::OnBody(char* data, std::size_t size, std::size_t count, void* self) {
  auto* transfer = static_cast<CurlTransfer*>(self);
  const std::size_t length = size * count;
  // libcurl skips the bodies of redirects it follows, so body bytes always
  // belong to the final response.
  transfer->finalHeaders_ = true;
  transfer->lastActivity_ = std::chrono::steady_clock::now();
  if (transfer->pendingRead_ < transfer->pending_.size()) {
    transfer->paused_ = true;
    return CURL_WRITEFUNC_PAUSE;
  }
  try {
    const auto* bytes = reinterpret_cast<const std::byte*>(data);
    transfer->pending_.assign(bytes, bytes + length);
    transfer->pendingRead_ = 0;
  } catch (...) {
    return 0;  // anything but length: libcurl ends the transfer with an error
  }
  return length;
}

}  // namespace kestrune::posix
