#include "platform/posix/posix_request_url.h"

#include <curl/curl.h>

#include <algorithm>
#include <memory>
#include <optional>

namespace kestrune::posix {

namespace {

struct CurlUrlCleanup {
  void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
using CurlUrl = std::unique_ptr<CURLU, CurlUrlCleanup>;

struct CurlFree {
  void operator()(char* text) const { curl_free(text); }
};
using CurlText = std::unique_ptr<char, CurlFree>;

std::optional<std::string> GetPart(CURLU* url, CURLUPart part) {
  char* raw = nullptr;
  const CURLUcode result = curl_url_get(url, part, &raw, 0);
  const CurlText text(raw);
  if (result != CURLUE_OK || !text) return std::nullopt;
  return std::string(text.get());
}

// What a path, query or fragment may hold as it stands besides the letters,
// digits and "-._~" that libcurl's escaping keeps by itself: '%' (the
// address may be encoded already), the separators and the sub-delimiters
// of RFC 3986.
bool KeptAsItStands(char c) {
  static constexpr std::string_view kKept = "%/?:@!$&'()*+,;=";
  return kKept.find(c) != std::string_view::npos;
}

// Runs of anything else go through libcurl's own escaping. Its hex digits
// are lower case where WinINet's are upper case; RFC 3986 makes the two the
// same address, and servers decode either.
std::optional<std::string> Escape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  while (!text.empty()) {
    const auto run = static_cast<std::size_t>(
        std::find_if(text.begin(), text.end(), KeptAsItStands) - text.begin());
    if (run > 0) {
      const CurlText escaped(curl_easy_escape(nullptr, text.data(), static_cast<int>(run)));
      if (!escaped) return std::nullopt;
      out += escaped.get();
      text.remove_prefix(run);
    } else {
      out.push_back(text.front());
      text.remove_prefix(1);
    }
  }
  return out;
}

// Re-writes one part of a parsed address escaped; an absent part stays so.
bool EscapePart(CURLU* url, CURLUPart part, bool backslashIsSeparator) {
  char* raw = nullptr;
  const CURLUcode got = curl_url_get(url, part, &raw, 0);
  const CurlText text(raw);
  if (got == CURLUE_NO_QUERY || got == CURLUE_NO_FRAGMENT) return true;
  if (got != CURLUE_OK || !text) return false;
  std::string value(text.get());
  if (backslashIsSeparator) std::replace(value.begin(), value.end(), '\\', '/');
  const std::optional<std::string> escaped = Escape(value);
  return escaped && curl_url_set(url, part, escaped->c_str(), 0) == CURLUE_OK;
}

}  // namespace

std::string EncodeRequestUrl(std::string_view url) {
  std::string given(url);
  const CurlUrl parsed(curl_url());
  // The parts are taken as they stand (spaces allowed, no "../" folded) and
  // escaped below, all in the same way: libcurl's own encoding while
  // parsing leaves '"', '<', '>' and the like raw and turns a space in the
  // query into '+'.
  if (!parsed || curl_url_set(parsed.get(), CURLUPART_URL, given.c_str(),
                              CURLU_ALLOW_SPACE | CURLU_PATH_AS_IS) != CURLUE_OK) {
    return given;
  }
  if (!EscapePart(parsed.get(), CURLUPART_PATH, true) ||
      !EscapePart(parsed.get(), CURLUPART_QUERY, false) ||
      !EscapePart(parsed.get(), CURLUPART_FRAGMENT, false)) {
    return given;
  }
  return GetPart(parsed.get(), CURLUPART_URL).value_or(given);
}

}  // namespace kestrune::posix
