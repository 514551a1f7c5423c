#include "publish/manifest_writer.h"

#include <cstdio>
#include <set>

#include "publish/cp1252.h"
#include "publish/manifest_check.h"
#include "publish/utf8.h"

namespace kestrune::publish {

namespace {

constexpr std::string_view kByteOrderMarkUtf8 = "\xEF\xBB\xBF";

// "U+20AC" and the character itself, unless it is an invisible control.
std::string CodePoint(char32_t c) {
  char text[16];
  std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(c));
  if (c < 0xA0) return text;
  return std::string(text) + " (" + EncodeUtf8(c) + ")";
}

// Encodes one line's text, or reports at line why it cannot be written.
bool EncodeLine(const std::string& text, const char* what, int line, CheckReport& report,
                std::string& bytes) {
  for (char c : text) {
    if (c == '\r' || c == '\n') {
      report.Add(Severity::kError, "line-break", line,
                 std::string("the ") + what +
                     " holds a line break, which would start another "
                     "line of the manifest");
      return false;
    }
    if (c == 26) {
      report.Add(Severity::kError, "ctrl-z", line,
                 std::string("the ") + what +
                     " holds a Ctrl-Z (byte 26), where the launcher "
                     "stops reading");
      return false;
    }
  }
  const Cp1252Text encoded = EncodeCp1252(text);
  if (!encoded.validUtf8) {
    report.Add(Severity::kError, "not-utf-8", line,
               std::string("the ") + what + " is not UTF-8 text");
    return false;
  }
  if (encoded.unencodable) {
    report.Add(Severity::kError, "no-windows-1252-form", line,
               std::string("the ") + what + " holds " + CodePoint(*encoded.unencodable) +
                   ", which Windows-1252 cannot write: the launcher reads only Windows-1252");
    return false;
  }
  bytes += encoded.bytes;
  bytes += "\r\n";
  return true;
}

}  // namespace

WrittenManifest WriteManifest(const std::string& title, const std::vector<ManifestRecord>& records,
                              const std::string& source, const std::string& updateBaseUrl,
                              const AnsiDecoder& decodeAnsi) {
  CheckReport unwritable;
  unwritable.source = source;
  std::set<int> unwritableLines;
  std::string bytes;
  // A line that cannot be written stands in as a plain name, so that every
  // other line is still checked at its own number.
  const auto add = [&](const std::string& text, const char* what, int line) {
    if (!EncodeLine(text, what, line, unwritable, bytes)) {
      unwritableLines.insert(line);
      bytes += "_\r\n";
    }
  };
  if (std::string_view(title).starts_with(kByteOrderMarkUtf8)) {
    unwritable.Add(Severity::kError, "byte-order-mark", 1,
                   "the title starts with a byte-order mark (U+FEFF), which the launcher would "
                   "show as part of the title");
    unwritableLines.insert(1);
    bytes += "_\r\n";
  } else {
    add(title, "title", 1);
  }
  int line = 2;
  for (const ManifestRecord& record : records) {
    add(record.fileName, "file name", line);
    add(record.caption, "caption", line + 1);
    line += 2;
  }

  // Everything else is what `check` would find in the text written, at the
  // line it would be on.
  WrittenManifest written;
  written.report = CheckManifestText(bytes, source, updateBaseUrl, decodeAnsi);
  std::erase_if(written.report.findings,
                [&](const Finding& finding) { return unwritableLines.count(finding.line) > 0; });
  written.report.findings.insert(written.report.findings.end(), unwritable.findings.begin(),
                                 unwritable.findings.end());
  if (unwritableLines.empty()) written.bytes = std::move(bytes);
  return written;
}

}  // namespace kestrune::publish
