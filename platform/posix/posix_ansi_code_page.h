// The manifest's 8-bit text, read as Windows-1252 (the ANSI code page the
// maker's files are written in) and turned into UTF-8.
#pragma once

#include <iconv.h>

#include <memory>
#include <string>
#include <string_view>
#include <type_traits>

namespace kestrune::posix {

class Cp1252Decoder {
 public:
  Cp1252Decoder();
  // Never fails: the five bytes Windows-1252 leaves undefined (0x81, 0x8D,
  // 0x8F, 0x90, 0x9D) become U+0081... as Windows' own conversion gives.
  std::string Decode(std::string_view ansi);

 private:
  struct IconvCloser {
    void operator()(std::remove_pointer_t<iconv_t>* cd) const { iconv_close(cd); }
  };
  // Empty when the system has no CP1252 converter; bytes are then read as
  // Latin-1, which differs only in 0x80..0x9F.
  std::unique_ptr<std::remove_pointer_t<iconv_t>, IconvCloser> cd_;
};

}  // namespace kestrune::posix
