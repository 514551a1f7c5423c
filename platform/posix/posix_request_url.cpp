#include "platform/posix/posix_request_url.h"

namespace kestrune::posix {

namespace {

bool MustEncode(unsigned char c) {
  if (c <= 0x20 || c >= 0x7F) return true;
  switch (c) {
    case '"':
    case '\\':
    case '<':
    case '>':
    case '^':
    case '`':
    case '{':
    case '|':
    case '}':
      return true;
    default:
      return false;
  }
}

}  // namespace

std::string EncodeRequestUrl(std::string_view url) {
  std::size_t pathStart = 0;
  if (const auto scheme = url.find("://"); scheme != std::string_view::npos) {
    pathStart = url.find_first_of("/?#", scheme + 3);
    if (pathStart == std::string_view::npos) return std::string(url);
  }

  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out(url.substr(0, pathStart));
  out.reserve(url.size() + 16);
  bool inQuery = false;
  for (const char ch : url.substr(pathStart)) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '?' || c == '#') inQuery = true;
    if (c == '\\' && !inQuery) {
      out.push_back('/');
    } else if (MustEncode(c)) {
      out.push_back('%');
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 0x0F]);
    } else {
      out.push_back(ch);
    }
  }
  return out;
}

}  // namespace kestrune::posix
