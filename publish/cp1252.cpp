#include "publish/cp1252.h"

#include <array>

#include "publish/utf8.h"

namespace kestrune::publish {

namespace {

// 0x80..0x9F; 0 where the byte is undefined. Every other byte is the
// Latin-1 character of the same number.
constexpr std::array<char32_t, 32> kSpecials = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

std::optional<unsigned char> Cp1252Byte(char32_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<unsigned char>(c);
  for (std::size_t i = 0; i < kSpecials.size(); ++i) {
    if (kSpecials[i] != 0 && kSpecials[i] == c) return static_cast<unsigned char>(0x80 + i);
  }
  // U+0080..U+009F too: Windows would write the undefined bytes for some
  // of them, which no reader of the manifest could tell from a mistake.
  return std::nullopt;
}

}  // namespace

Cp1252Text EncodeCp1252(std::string_view utf8) {
  Cp1252Text out;
  out.bytes.reserve(utf8.size());
  while (!utf8.empty()) {
    char32_t c = 0;
    const std::size_t length = DecodeUtf8(utf8, &c);
    if (length == 0) {
      out.validUtf8 = false;
      return out;
    }
    const std::optional<unsigned char> byte = Cp1252Byte(c);
    if (!byte) {
      out.unencodable = c;
      return out;
    }
    out.bytes.push_back(static_cast<char>(*byte));
    utf8.remove_prefix(length);
  }
  return out;
}

bool IsUndefinedInCp1252(unsigned char byte) {
  return byte >= 0x80 && byte <= 0x9F && kSpecials[byte - 0x80] == 0;
}

}  // namespace kestrune::publish
