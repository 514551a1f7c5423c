// The checks of a manifest's own text: it is read with the launcher's
// reader (what customers get), and every line the reader would take
// differently from what the maker meant is reported at its number.
#pragma once

#include <string>
#include <string_view>

#include "publish/check_report.h"
#include "update/manifest.h"

namespace kestrune::publish {

// Stands for the customer's working directory in the local paths shown;
// the separator is the Windows launcher's, as customers run that one.
inline constexpr char kCustomerWorkDir[] = "<working directory>";
inline constexpr char kCustomerSeparator = '\\';

// A report whose source is source, with the title and entries as the
// launcher reads them from bytes (their addresses under updateBaseUrl) and
// the problems of the text.
CheckReport CheckManifestText(std::string_view bytes, const std::string& source,
                              const std::string& updateBaseUrl, const AnsiDecoder& decodeAnsi);

// The key under which Windows sees two names as one file: letter case and
// the two separators make no difference there.
std::string SameFileKey(std::string_view name);

}  // namespace kestrune::publish
