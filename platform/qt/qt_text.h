// Text is UTF-8 std::string everywhere else; QString exists only at the
// Qt call.
#pragma once

#include <QString>

#include <string>
#include <string_view>

namespace kestrune::qt {

inline QString ToQString(std::string_view utf8) {
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

// Windows shows a carriage return in a hint or a box as a line break.
inline QString WithLineBreaks(std::string_view utf8) {
  QString text = ToQString(utf8);
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  text.replace(QChar(u'\r'), QChar(u'\n'));
  return text;
}

}  // namespace kestrune::qt
