#include "platform/win32/win32_internet.h"

#include "platform/win32/win32_windows.h"
#include <wininet.h>

#include <algorithm>
#include <chrono>
#include <cctype>
#include <cwctype>
#include <optional>
#include <string>
#include <cstring>
#include <cwchar>
#include <memory>
#include <vector>

#include "platform/win32/win32_handles.h"
#include "platform/win32/win32_system_library.h"
#include "platform/win32/win32_text.h"

namespace kestrune::win32 {

namespace {

// An address split as WinINet reads it, with what may be written in more
// than one way made one: the scheme's and host's case, a default port,
// escapes and backslashes in the path.
struct AddressParts {
  std::wstring scheme;
  std::wstring host;
  INTERNET_PORT port = 0;
  std::string path;  // with extra information, escapes undone, UTF-8

  bool operator==(const AddressParts&) const = default;
};

std::wstring Lower(const wchar_t* text, DWORD length) {
  std::wstring out(text ? text : L"", text ? length : 0);
  for (wchar_t& c : out) c = static_cast<wchar_t>(std::towlower(c));
  return out;
}

std::string Unescaped(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() &&
        std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
      out.push_back(static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16)));
      i += 2;
    } else {
      out.push_back(text[i] == '\\' ? '/' : text[i]);
    }
  }
  return out;
}

std::optional<AddressParts> Split(const std::wstring& url) {
  URL_COMPONENTSW parts{};
  parts.dwStructSize = sizeof parts;
  // Non-zero lengths without buffers: the parts are pointed at in url.
  parts.dwSchemeLength = parts.dwHostNameLength = parts.dwUrlPathLength = 1;
  parts.dwExtraInfoLength = 1;
  // Reached only through a response, so WinINet is loaded.
  if (!WinInet()->crackUrl(url.c_str(), 0, 0, &parts)) return std::nullopt;
  AddressParts split;
  split.scheme = Lower(parts.lpszScheme, parts.dwSchemeLength);
  split.host = Lower(parts.lpszHostName, parts.dwHostNameLength);
  split.port = parts.nPort;
  std::wstring path(parts.lpszUrlPath ? parts.lpszUrlPath : L"",
                    parts.lpszUrlPath ? parts.dwUrlPathLength : 0);
  if (parts.lpszExtraInfo) path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  split.path = Unescaped(Narrow(path));
  return split;
}

// NOTE: WinINet keeps no count of the redirects it followed, and reports
// the address it ended at in its own form (a space as %20, for one), so
// the two addresses are compared part by part.
bool SameAddress(const std::wstring& a, const std::wstring& b) {
  if (a == b) return true;
  const std::optional<AddressParts> left = Split(a);
  const std::optional<AddressParts> right = Split(b);
  return left && right && *left == *right;
}

// NOTE: WinINet's timeouts hold for each receive, so a server that sends
// one header line now and then never trips them, and a blocking
// HttpSendRequest, which reads every header, waits until the last; under
// Wine not even closing the handle from another thread ends it. So the
// session is asynchronous: each call that cannot finish at once completes
// on WinINet's own thread, and the launcher's one thread waits for it, for
// no longer than its limit.
//
// What WinINet reports back for one request, and every buffer a pending
// call of it may still write to. Made for each request and given to WinINet
// as the request's context; WinINet's last word on the handle
// (INTERNET_STATUS_HANDLE_CLOSING) deletes it, so a call the launcher
// stopped waiting for never writes to freed memory.
struct RequestContext {
  // NOTE: under Wine every InternetReadFile call costs several wineserver
  // round trips, too many for the core's 1024-byte blocks. The body is read
  // ahead in one block of fixed size and handed out from there, so memory
  // stays independent of the file's size. A failed read ends the body:
  // whatever that call had fetched is never delivered.
  static constexpr std::size_t kReadAheadSize = 64 * 1024;

  KernelHandle done{::CreateEventW(nullptr, FALSE, FALSE, nullptr)};  // a call completed
  DWORD result = 0;
  DWORD error = 0;
  std::wstring headers;
  std::unique_ptr<std::byte[]> ahead = std::make_unique_for_overwrite<std::byte[]>(kReadAheadSize);
  DWORD available = 0;

  // Waits for the call that just returned ERROR_IO_PENDING; false when it
  // failed, or did not complete within milliseconds (the error is then
  // ERROR_INTERNET_TIMEOUT).
  bool Completes(DWORD milliseconds) {
    if (::WaitForSingleObject(done.get(), milliseconds) != WAIT_OBJECT_0) {
      error = ERROR_INTERNET_TIMEOUT;
      return false;
    }
    return result != 0;
  }
};

void CALLBACK OnRequestStatus(HINTERNET, DWORD_PTR context, DWORD status, LPVOID information,
                              DWORD) {
  // The session and its connections carry no context.
  if (context == 0) return;
  auto* request = reinterpret_cast<RequestContext*>(context);
  if (status == INTERNET_STATUS_REQUEST_COMPLETE) {
    const auto* outcome = static_cast<const INTERNET_ASYNC_RESULT*>(information);
    request->result = static_cast<DWORD>(outcome->dwResult);
    request->error = outcome->dwError;
    ::SetEvent(request->done.get());
  } else if (status == INTERNET_STATUS_HANDLE_CLOSING) {
    delete request;
  }
}

class Win32Response final : public InternetResponse {
 public:
  Win32Response(const WinInetCalls& wininet, InternetHandle url, RequestContext& context,
                DWORD noDataLimit, std::wstring opened)
      : wininet_(wininet),
        url_(std::move(url)),
        context_(context),
        noDataLimit_(noDataLimit),
        opened_(std::move(opened)) {}

  int StatusCode() const override {
    DWORD status = 0;
    DWORD size = sizeof status;
    if (!wininet_.httpQueryInfo(url_.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER,
                                &status, &size, nullptr)) {
      return 0;  // not an HTTP response: never taken for a success
    }
    return static_cast<int>(status);
  }

  std::optional<std::uint64_t> ContentLength() const override {
    ULONGLONG length = 0;
    DWORD size = sizeof length;
    if (wininet_.httpQueryInfo(url_.get(), HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER64,
                               &length, &size, nullptr)) {
      return static_cast<std::uint64_t>(length);
    }
    // NOTE: Wine's WinINet refuses the 64-bit number form, and says the
    // header is missing when it is not; the header's text, read as
    // written, is the same length. Losing it would let a cut-off transfer
    // pass for a whole one.
    return ContentLengthFromText();
  }

  std::optional<std::uint64_t> ContentLengthFromText() const {
    wchar_t text[32] = {};
    DWORD size = sizeof text;
    if (!wininet_.httpQueryInfo(url_.get(), HTTP_QUERY_CONTENT_LENGTH, text, &size, nullptr)) {
      return std::nullopt;
    }
    std::uint64_t length = 0;
    bool digits = false;
    for (const wchar_t* c = text; *c; ++c) {
      if (*c < L'0' || *c > L'9' || length > (UINT64_MAX - 9) / 10) return std::nullopt;
      length = length * 10 + static_cast<std::uint64_t>(*c - L'0');
      digits = true;
    }
    if (!digits) return std::nullopt;
    return length;
  }

  std::optional<std::string> Header(std::string_view name) const override {
    const std::wstring wide = Widen(name);
    std::vector<wchar_t> buffer(std::max<std::size_t>(wide.size() + 1, 256));
    for (int attempt = 0; attempt < 2; ++attempt) {
      // HTTP_QUERY_CUSTOM reads the header's name from the buffer.
      std::copy(wide.begin(), wide.end(), buffer.begin());
      buffer[wide.size()] = L'\0';
      auto size = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
      DWORD index = 0;
      if (wininet_.httpQueryInfo(url_.get(), HTTP_QUERY_CUSTOM, buffer.data(), &size, &index)) {
        return Narrow(std::wstring(buffer.data(), size / sizeof(wchar_t)));
      }
      if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER) return std::nullopt;
      buffer.resize(std::max<std::size_t>(buffer.size(), std::size_t{size} / sizeof(wchar_t) + 1) +
                    wide.size());
    }
    return std::nullopt;
  }

  std::string RedirectedTo() const override {
    DWORD size = 0;
    wininet_.queryOption(url_.get(), INTERNET_OPTION_URL, nullptr, &size);
    if (size == 0) return {};
    std::wstring url(size / sizeof(wchar_t) + 1, L'\0');
    size = static_cast<DWORD>(url.size() * sizeof(wchar_t));
    if (!wininet_.queryOption(url_.get(), INTERNET_OPTION_URL, url.data(), &size)) return {};
    url.resize(std::wcslen(url.c_str()));
    if (SameAddress(url, opened_)) return {};
    return Narrow(url);
  }

  ReadResult Read(std::span<std::byte> buffer) override {
    if (next_ == filled_) {
      // NOTE: a read is only asked for what has arrived, so it never goes
      // on to WinINet's thread: Wine's InternetReadFile writes 0 to the
      // caller's count after handing a read to its thread, which may have
      // written the real count first, and the body would seem to end early.
      // The wait for bytes (or the end) is InternetQueryDataAvailable's,
      // asked again once it completes so its count comes back here.
      DWORD available = 0;
      for (int attempt = 0;; ++attempt) {
        if (wininet_.queryDataAvailable(url_.get(), &context_.available, 0, 0)) {
          available = context_.available;
          break;
        }
        const DWORD error = ::GetLastError();
        // WinINet's own receive limit ends a silent wait first; the wait's
        // own limit is only a backstop.
        if (error != ERROR_IO_PENDING || attempt > 0 || !context_.Completes(2 * noDataLimit_)) {
          const DWORD why = error == ERROR_IO_PENDING ? context_.error : error;
          return {false, 0, why == ERROR_INTERNET_TIMEOUT};
        }
      }
      DWORD read = 0;
      if (available > 0 &&
          !wininet_.readFile(url_.get(), context_.ahead.get(),
                             std::min(available, static_cast<DWORD>(RequestContext::kReadAheadSize)),
                             &read)) {
        return {false, 0, ::GetLastError() == ERROR_INTERNET_TIMEOUT};
      }
      next_ = 0;
      filled_ = read;
    }
    const std::size_t count = std::min(buffer.size(), filled_ - next_);
    if (count > 0) std::memcpy(buffer.data(), context_.ahead.get() + next_, count);
    next_ += count;
    return {true, count};
  }

 private:
  const WinInetCalls& wininet_;
  InternetHandle url_;
  RequestContext& context_;  // WinINet's, released with url_
  DWORD noDataLimit_;
  std::wstring opened_;
  std::size_t next_ = 0;
  std::size_t filled_ = 0;
};

// Gives a request the no-data limit for connecting, sending and receiving;
// false when it refuses any of them. Without it a server that stops sending
// would hold a read for ever, so a request that refuses it is not sent.
bool SetNoDataLimit(const WinInetCalls& wininet, HINTERNET handle, DWORD milliseconds) {
  constexpr DWORD kLimits[] = {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                               INTERNET_OPTION_RECEIVE_TIMEOUT};
  bool all = true;
  for (const DWORD option : kLimits) {
    all = wininet.setOption(handle, option, &milliseconds, sizeof milliseconds) && all;
  }
  return all;
}

class Win32Session final : public InternetSession {
 public:
  Win32Session(const WinInetCalls& wininet, InternetHandle session, DWORD noDataLimit,
               DWORD headerDeadline)
      : wininet_(wininet),
        session_(std::move(session)),
        noDataLimit_(noDataLimit),
        headerDeadline_(headerDeadline) {}

  // A plain GET: no headers, no context; redirects are followed.
  // NOTE: opened in the steps InternetOpenUrl takes inside (connect, open
  // the request, send it), so that the request has the no-data limit before
  // it is sent: Wine's InternetOpenUrl gives its requests no receive limit
  // whatever the session has.
  std::unique_ptr<InternetResponse> OpenUrl(std::string_view url,
                                            std::span<const RequestHeader> headers) override {
    // Always from the server, and never kept: WinINet would otherwise
    // answer from its cache (a far-future expiry would freeze the
    // manifest), and write every download a second time there.
    constexpr DWORD kFromTheServerOnly =
        INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE;
    std::wstring wide = Widen(url);
    URL_COMPONENTSW parts{};
    parts.dwStructSize = sizeof parts;
    // Non-zero lengths without buffers: the parts are pointed at in wide.
    parts.dwHostNameLength = parts.dwUserNameLength = parts.dwPasswordLength = 1;
    parts.dwUrlPathLength = parts.dwExtraInfoLength = 1;
    if (!wininet_.crackUrl(wide.c_str(), 0, 0, &parts)) return nullptr;
    const bool secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
    if (!secure && parts.nScheme != INTERNET_SCHEME_HTTP) return nullptr;
    const auto part = [](const wchar_t* text, DWORD length) {
      return text ? std::wstring(text, length) : std::wstring();
    };
    const std::wstring host = part(parts.lpszHostName, parts.dwHostNameLength);
    const std::wstring user = part(parts.lpszUserName, parts.dwUserNameLength);
    const std::wstring password = part(parts.lpszPassword, parts.dwPasswordLength);
    std::wstring object = part(parts.lpszUrlPath, parts.dwUrlPathLength) +
                          part(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    if (object.empty()) object = L"/";

    // One connection handle for the server, kept for the session's next
    // requests: WinINet keeps its keep-alive connection under it.
    std::wstring server = host + L'\n' + std::to_wstring(parts.nPort) + L'\n' + user + L'\n' +
                          password;
    if (!connection_ || server != server_) {
      connection_.reset();
      connection_.reset(wininet_.connect(
          session_.get(), host.c_str(), parts.nPort, user.empty() ? nullptr : user.c_str(),
          password.empty() ? nullptr : password.c_str(), INTERNET_SERVICE_HTTP, 0, 0));
      if (!connection_) return nullptr;
      server_ = std::move(server);
    }
    auto made = std::make_unique<RequestContext>();
    if (!made->done) return nullptr;
    InternetHandle request(wininet_.openRequest(
        connection_.get(), L"GET", object.c_str(), nullptr, nullptr, nullptr,
        kFromTheServerOnly | (secure ? INTERNET_FLAG_SECURE : 0),
        reinterpret_cast<DWORD_PTR>(made.get())));
    if (!request) return nullptr;
    RequestContext& context = *made.release();  // WinINet's now, with the handle
    if (!SetNoDataLimit(wininet_, request.get(), noDataLimit_)) return nullptr;
    for (const RequestHeader& header : headers) {
      context.headers += Widen(header.name) + L": " + Widen(header.value) + L"\r\n";
    }
    if (!wininet_.sendRequest(request.get(),
                              context.headers.empty() ? nullptr : context.headers.c_str(),
                              static_cast<DWORD>(context.headers.size()), nullptr, 0) &&
        (::GetLastError() != ERROR_IO_PENDING || !context.Completes(headerDeadline_))) {
      return nullptr;
    }
    return std::make_unique<Win32Response>(wininet_, std::move(request), context, noDataLimit_,
                                           std::move(wide));
  }

 private:
  const WinInetCalls& wininet_;
  InternetHandle session_;
  // The last server's connection, and who it was: host, port, user and
  // password. Released before the session.
  InternetHandle connection_;
  std::wstring server_;
  DWORD noDataLimit_;
  DWORD headerDeadline_;
};

}  // namespace

std::unique_ptr<InternetSession> Win32Internet::OpenSession(std::string_view agent) {
  // Without WinINet there is no session, which the download reports as
  // any failed transfer.
  const WinInetCalls* wininet = WinInet();
  if (!wininet) return nullptr;
  InternetHandle session(wininet->open(Widen(agent).c_str(), INTERNET_OPEN_TYPE_PRECONFIG,
                                       nullptr, nullptr, INTERNET_FLAG_ASYNC));
  if (!session || wininet->setStatusCallback(session.get(), &OnRequestStatus) ==
                      INTERNET_INVALID_STATUS_CALLBACK) {
    return nullptr;
  }
  const auto milliseconds = [](std::chrono::seconds limit) {
    return static_cast<DWORD>(
        std::chrono::duration_cast<std::chrono::milliseconds>(limit).count());
  };
  return std::make_unique<Win32Session>(*wininet, std::move(session),
                                        milliseconds(options_.noDataTimeout),
                                        milliseconds(options_.headerDeadline));
}

std::uint64_t Win32Internet::MonotonicMilliseconds() { return ::GetTickCount64(); }

}  // namespace kestrune::win32
