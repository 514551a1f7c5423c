// Makes an address as the core builds it (base address + file name from
// the manifest) fit to send, as WinINet does before a request.
#pragma once

#include <string>
#include <string_view>

namespace kestrune::posix {

// Leaves the scheme and host alone; in the rest, percent-encodes spaces,
// bytes of 0x80 and above (the UTF-8 of non-ASCII names) and the
// characters no URL may hold raw, and turns a backslash in the path into a
// slash as Windows' URL handling and browsers do. '%' is kept, so an
// address that is already encoded stays as it is. An address libcurl
// cannot parse (no scheme, a control character) is returned as given, and
// its request then fails as a bad address.
std::string EncodeRequestUrl(std::string_view url);

}  // namespace kestrune::posix
