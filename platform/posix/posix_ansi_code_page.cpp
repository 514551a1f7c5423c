#include "platform/posix/posix_ansi_code_page.h"

#include <cerrno>

namespace kestrune::posix {

namespace {

// The code point equal to the byte, as UTF-8.
void AppendLatin1(std::string& out, unsigned char byte) {
  if (byte < 0x80) {
    out.push_back(static_cast<char>(byte));
  } else {
    out.push_back(static_cast<char>(0xC0 | (byte >> 6)));
    out.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
  }
}

}  // namespace

Cp1252Decoder::Cp1252Decoder() {
  const iconv_t cd = iconv_open("UTF-8", "CP1252");
  if (cd != reinterpret_cast<iconv_t>(-1)) cd_.reset(cd);
}

std::string Cp1252Decoder::Decode(std::string_view ansi) {
  std::string out;
  out.reserve(ansi.size() * 3);
  if (!cd_) {
    for (char c : ansi) AppendLatin1(out, static_cast<unsigned char>(c));
    return out;
  }
  iconv(cd_.get(), nullptr, nullptr, nullptr, nullptr);

  // iconv's interface wants non-const input; it does not write to it.
  char* in = const_cast<char*>(ansi.data());
  std::size_t inLeft = ansi.size();
  char block[256];
  while (inLeft > 0) {
    char* outPtr = block;
    std::size_t outLeft = sizeof block;
    const std::size_t done = iconv(cd_.get(), &in, &inLeft, &outPtr, &outLeft);
    const int error = errno;
    out.append(block, static_cast<std::size_t>(outPtr - block));
    if (done != static_cast<std::size_t>(-1) || error == E2BIG) continue;
    // A byte glibc's table has no character for: Windows maps it to the C1
    // control of the same number instead of failing.
    AppendLatin1(out, static_cast<unsigned char>(*in));
    ++in;
    --inLeft;
  }
  return out;
}

}  // namespace kestrune::posix
