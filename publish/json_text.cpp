#include "publish/json_text.h"

#include <cstdio>

#include "publish/utf8.h"

namespace kestrune::publish {

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  while (!text.empty()) {
    char32_t c = 0;
    const std::size_t length = DecodeUtf8(text, &c);
    if (length == 0) {
      out += "\\ufffd";
      text.remove_prefix(1);
      continue;
    }
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
      out += escaped;
    } else {
      out.append(text.data(), length);
    }
    text.remove_prefix(length);
  }
  out += '"';
  return out;
}

}  // namespace kestrune::publish
