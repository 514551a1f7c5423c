#include "publish/utf8.h"

#include <cstdio>

namespace kestrune::publish {

std::size_t DecodeUtf8(std::string_view text, char32_t* codePoint) {
  if (text.empty()) return 0;
  const auto lead = static_cast<unsigned char>(text[0]);
  std::size_t length = 0;
  char32_t value = 0;
  char32_t smallest = 0;
  if (lead < 0x80) {
    *codePoint = lead;
    return 1;
  } else if ((lead & 0xE0) == 0xC0) {
    length = 2, value = lead & 0x1F, smallest = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, value = lead & 0x0F, smallest = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, value = lead & 0x07, smallest = 0x10000;
  } else {
    return 0;
  }
  if (text.size() < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    const auto next = static_cast<unsigned char>(text[i]);
    if ((next & 0xC0) != 0x80) return 0;
    value = (value << 6) | (next & 0x3F);
  }
  if (value < smallest || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
  *codePoint = value;
  return length;
}

bool IsControlCharacter(char32_t codePoint) {
  return codePoint < 0x20 || (codePoint >= 0x7F && codePoint <= 0x9F);
}

std::string ControlEscape(char32_t codePoint) {
  char escaped[8];
  std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(codePoint));
  return escaped;
}

std::string EncodeUtf8(char32_t codePoint) {
  std::string out;
  const auto byte = [](char32_t value) { return static_cast<char>(value); };
  if (codePoint < 0x80) {
    out += byte(codePoint);
  } else if (codePoint < 0x800) {
    out += byte(0xC0 | (codePoint >> 6));
    out += byte(0x80 | (codePoint & 0x3F));
  } else if (codePoint < 0x10000) {
    out += byte(0xE0 | (codePoint >> 12));
    out += byte(0x80 | ((codePoint >> 6) & 0x3F));
    out += byte(0x80 | (codePoint & 0x3F));
  } else {
    out += byte(0xF0 | (codePoint >> 18));
    out += byte(0x80 | ((codePoint >> 12) & 0x3F));
    out += byte(0x80 | ((codePoint >> 6) & 0x3F));
    out += byte(0x80 | (codePoint & 0x3F));
  }
  return out;
}

}  // namespace kestrune::publish
