// JSON string literals for the report a release pipeline reads.
#pragma once

#include <string>
#include <string_view>

namespace kestrune::publish {

// text as a JSON string, quotes included. Control characters are written
// as ControlEscape writes them; bytes that are not UTF-8 become
// U+FFFD, so the document stays valid whatever a folder name holds.
std::string JsonString(std::string_view text);

}  // namespace kestrune::publish
