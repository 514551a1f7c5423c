// Reading UTF-8: the command line's text, and manifests saved as UTF-8 by
// mistake.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kestrune::publish {

// Decodes one UTF-8 sequence at the front of text into *codePoint and
// returns its length; 0 when the front is not well-formed UTF-8 (overlong
// forms and surrogates included).
std::size_t DecodeUtf8(std::string_view text, char32_t* codePoint);

// The UTF-8 of one code point (below U+110000, not a surrogate).
std::string EncodeUtf8(char32_t codePoint);

}  // namespace kestrune::publish
