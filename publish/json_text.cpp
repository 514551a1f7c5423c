#include "publish/json_text.h"

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
    } else if (IsControlCharacter(c)) {
      out += ControlEscape(c);
    } else {
      out.append(text.data(), length);
    }
    text.remove_prefix(length);
  }
  out += '"';
  return out;
}

}  // namespace kestrune::publish
