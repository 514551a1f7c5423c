// Reading UTF-8: the command line's text, and manifests saved as UTF-8 by
// mistake; and the characters the tool never prints as they are.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kestrune::publish {

// Decodes one UTF-8 sequence at the front of text into *codePoint and
// returns its length; 0 when the front is not well-formed UTF-8 (overlong
// forms and surrogates included).
std::size_t DecodeUtf8(std::string_view text, char32_t* codePoint);

// C0 (U+0000 to U+001F), DEL and C1 (U+0080 to U+009F): characters a
// terminal acts on rather than shows, which the tool never prints as such.
bool IsControlCharacter(char32_t codePoint);

// How the tool writes a control character, in its report and in JSON
// alike: "\u009d".
std::string ControlEscape(char32_t codePoint);

// The UTF-8 of one code point (below U+110000, not a surrogate).
std::string EncodeUtf8(char32_t codePoint);

}  // namespace kestrune::publish
