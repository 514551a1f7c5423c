#include "publish/manifest_check.h"

#include <cstdio>
#include <map>

#include "common/texts.h"
#include "publish/cp1252.h"
#include "publish/utf8.h"
#include "update/entries.h"
#include "update/entry_name.h"

namespace kestrune::publish {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

std::string Hex(unsigned char byte) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", byte);
  return text;
}

std::string Decoded(const std::string& raw, const AnsiDecoder& decodeAnsi) {
  for (char c : raw) {
    if (static_cast<unsigned char>(c) >= 0x80) return decodeAnsi(raw);
  }
  return raw;
}

// Text an editor saved as UTF-8: every byte of 0x80 and above belongs to a
// well-formed sequence. Windows-1252 text almost never reads that way.
bool LooksLikeUtf8(std::string_view text) {
  bool multiByte = false;
  while (!text.empty()) {
    char32_t c = 0;
    const std::size_t length = DecodeUtf8(text, &c);
    if (length == 0) return false;
    multiByte = multiByte || length > 1;
    text.remove_prefix(length);
  }
  return multiByte;
}

class TextChecker {
 public:
  TextChecker(CheckReport& report, const AnsiDecoder& decodeAnsi)
      : report_(report), decodeAnsi_(decodeAnsi) {}

  void Encoding(const ManifestLine& line, std::string_view text) {
    for (char c : text) {
      const auto byte = static_cast<unsigned char>(c);
      if (IsUndefinedInCp1252(byte)) {
        report_.Add(Severity::kError, "undefined-byte", line.number,
                    "byte " + Hex(byte) + " has no character in Windows-1252: the launcher " +
                        "shows an invisible control character there");
        break;
      }
    }
    if (LooksLikeUtf8(text)) {
      report_.Add(Severity::kError, "utf-8-text", line.number,
                  "this line is UTF-8, but the launcher reads Windows-1252: it shows " +
                      Quoted(Decoded(std::string(text), decodeAnsi_)) + " where " +
                      Quoted(std::string(text)) + " was meant");
    }
  }

  void Terminators(const ManifestLine& line) {
    if (line.loneCarriageReturns > 0) {
      report_.Add(Severity::kError, "lone-carriage-return", line.number,
                  "a carriage return without a line feed: the launcher drops it and reads "
                  "what it seems to separate as one line");
    }
    if (line.cutByEndMark) {
      report_.Add(line.cutDropsText ? Severity::kError : Severity::kWarning, "ctrl-z", line.number,
                  line.cutDropsText
                      ? "a Ctrl-Z (byte 26) ends this line for the launcher: the text after it "
                        "is ignored"
                      : "a Ctrl-Z (byte 26) inside this line: the launcher stops reading the "
                        "line there");
    }
  }

  // A file-name or caption line: trimmed by the launcher.
  void Trimming(const ManifestLine& line, const char* what, const std::string& trimmed) {
    const std::string decoded = Decoded(line.text, decodeAnsi_);
    if (trimmed.empty()) {
      report_.Add(Severity::kError, "blank-line", line.number,
                  std::string("blank line where the launcher reads a ") + what +
                      (decoded.empty() ? "" : " (only blanks or control characters)") +
                      "; a spare line here shifts every later name and caption by one line");
    } else if (trimmed != decoded) {
      report_.Add(Severity::kError, "trimmed-blanks", line.number,
                  std::string("the launcher trims the blanks around this ") + what + ": " +
                      Quoted(decoded) + " becomes " + Quoted(trimmed));
    }
  }

 private:
  CheckReport& report_;
  const AnsiDecoder& decodeAnsi_;
};

// What an address makes of these characters, which a file name may hold.
const char* AddressMeaning(char c) {
  switch (c) {
    case '#':
      return "the start of a fragment, which is never sent";
    case '?':
      return "the start of a query";
    case '%':
      return "the start of an escape";
    default:
      return nullptr;
  }
}

void CheckName(CheckReport& report, const EntryView& entry,
               std::map<std::string, int>& firstLineOf) {
  const std::string& name = entry.name;
  if (name.empty()) return;  // reported as a blank line
  const std::string_view refusal = EntryNameRefusal(name);
  if (!refusal.empty()) {
    report.Add(Severity::kError, "refused-name", entry.line,
               "the launcher refuses the name " + Quoted(name) + ": " + std::string(refusal) +
                   "; customers get \"" + texts::kUpdateProblem + "\"");
    return;
  }
  const auto [first, isNew] = firstLineOf.emplace(SameFileKey(name), entry.line);
  if (!isNew) {
    report.Add(Severity::kError, "duplicate", entry.line,
               Quoted(name) + " is listed again (first on line " + std::to_string(first->second) +
                   "): the launcher fetches it once and shows a second button for it");
  }
  for (char c : name) {
    if (const char* meaning = AddressMeaning(c)) {
      report.Add(Severity::kError, "address-character", entry.line,
                 std::string("the name holds '") + c + "', which the address " + entry.address +
                     " reads as " + meaning + ": the server is asked for another file");
      break;
    }
  }
  const char last = name.back();
  if (last == '\\' || last == '/') {
    report.Add(Severity::kError, "folder-name", entry.line,
               Quoted(name) +
                   " ends in a separator: it names a folder, which the launcher "
                   "cannot download");
  } else if (name.find_first_of("\\/") != std::string::npos) {
    report.Add(Severity::kWarning, "folder", entry.line,
               Quoted(name) +
                   " is inside a folder: the launcher creates no folder, so a "
                   "customer without it gets an error box at start-up");
  }
}

}  // namespace

std::string SameFileKey(std::string_view name) {
  std::string key(name);
  for (char& c : key) {
    if (c == '/') c = '\\';
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return key;
}

CheckReport CheckManifestText(std::string_view bytes, const std::string& source,
                              const std::string& updateBaseUrl, const AnsiDecoder& decodeAnsi) {
  CheckReport report;
  report.source = source;
  // The launcher's own reader, which also says where each line stood.
  ManifestLayout split;
  const Manifest manifest = ReadManifest(bytes, decodeAnsi, &split);
  report.title = manifest.title;
  const std::size_t lineCount = split.lines.size();

  if (!manifest.title) {
    report.Add(Severity::kError, "empty-manifest", 0,
               "the manifest is empty: the launcher keeps its own title and shows no button");
  }
  if (bytes.starts_with(kByteOrderMark)) {
    report.Add(Severity::kError, "byte-order-mark", 1,
               "the file starts with a UTF-8 byte-order mark: the launcher shows " +
                   Quoted(Decoded(std::string(kByteOrderMark), decodeAnsi)) +
                   " at the front of the title");
  }

  TextChecker text(report, decodeAnsi);
  for (std::size_t i = 0; i < lineCount; ++i) {
    const ManifestLine& line = split.lines[i];
    std::string_view content = line.text;
    if (i == 0 && content.starts_with(kByteOrderMark)) content.remove_prefix(kByteOrderMark.size());
    text.Encoding(line, content);
    text.Terminators(line);
    if (i == 0) {
      if (TrimControlAndSpace(*manifest.title).empty()) {
        report.Add(Severity::kWarning, "blank-line", line.number,
                   "the title line is blank: the launcher's window has no title");
      }
    } else if (i % 2 == 1) {
      text.Trimming(line, "file name", manifest.records[i / 2].fileName);
    } else {
      text.Trimming(line, "caption", manifest.records[i / 2 - 1].caption);
    }
  }
  if (lineCount >= 2 && lineCount % 2 == 0) {
    report.Add(Severity::kError, "missing-caption", split.lines.back().number,
               "the last file name has no caption line: its button has no text");
  }
  if (split.endMarkLine > 0) {
    report.Add(split.textAfterEndMark ? Severity::kError : Severity::kWarning, "ctrl-z",
               split.endMarkLine,
               split.textAfterEndMark
                   ? "a Ctrl-Z (byte 26) here ends the manifest for the launcher: every line "
                     "after it is ignored"
                   : "a Ctrl-Z (byte 26) here ends the manifest for the launcher");
  }
  if (manifest.title && manifest.records.empty()) {
    report.Add(Severity::kWarning, "no-entries", 0,
               "the manifest lists no file: the launcher shows only its Exit button");
  }

  std::map<std::string, int> firstLineOf;
  for (std::size_t r = 0; r < manifest.records.size(); ++r) {
    const ManifestRecord& record = manifest.records[r];
    EntryView entry;
    entry.line = split.lines[1 + 2 * r].number;
    entry.name = record.fileName;
    entry.caption = record.caption;
    entry.address = EntryAddress(updateBaseUrl, record.fileName);
    entry.localPath = JoinPath(kCustomerWorkDir, kCustomerSeparator, record.fileName);
    entry.fetched = !record.fileName.empty() && IsSafeEntryName(record.fileName);
    CheckName(report, entry, firstLineOf);
    report.entries.push_back(std::move(entry));
  }
  return report;
}

}  // namespace kestrune::publish
