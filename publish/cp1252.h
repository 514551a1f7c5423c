// Windows-1252, the code page the maker's manifests are written in (see
// the POSIX layer's decoder), written here from the UTF-8 of the command
// line.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kestrune::publish {

struct Cp1252Text {
  std::string bytes;
  // The first character that has no Windows-1252 byte, when one was met;
  // bytes is then incomplete.
  std::optional<char32_t> unencodable;
  // False when the input is not UTF-8; bytes is then incomplete.
  bool validUtf8 = true;
};

Cp1252Text EncodeCp1252(std::string_view utf8);

// The five bytes Windows-1252 gives no character (0x81, 0x8D, 0x8F, 0x90,
// 0x9D). Windows turns them into C1 controls; no editor shows them.
bool IsUndefinedInCp1252(unsigned char byte);

}  // namespace kestrune::publish
