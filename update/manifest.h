// The manifest the maker publishes: a title line, then one file-name line
// and one caption line per launcher entry.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "update/manifest_lines.h"

namespace kestrune {

// The longest manifest taken: 10,000 entries fit in well under 1 MiB, and a
// longer one is refused as soon as it is seen to be longer, unread.
inline constexpr std::size_t kMaxManifestBytes = 16 * 1024 * 1024;

struct ManifestRecord {
  std::string fileName;  // trimmed
  std::string caption;   // trimmed
};

struct Manifest {
  std::optional<std::string> title;  // as it stands: not trimmed
  std::vector<ManifestRecord> records;
};

// Where the manifest's parts stood, for the maker's tool to show a problem at
// its line.
struct ManifestLayout {
  // In order: the title, then a file name and a caption per record. A last
  // record may lack its caption line.
  std::vector<ManifestLine> lines;
  // The line whose first byte is a Ctrl-Z, where the reader stops; 0 when
  // the text runs to its end.
  int endMarkLine = 0;
  // Whether anything but blanks follows that mark, which the reader never
  // sees.
  bool textAfterEndMark = false;
};

// Converts a line of 8-bit text to UTF-8; only called for lines holding a
// byte of 0x80 or above (plain ASCII is the same in every ANSI code page).
using AnsiDecoder = std::function<std::string(std::string_view)>;

// Reads manifest text. Lines end at LF or CR LF; a lone CR is dropped; the
// last line needs no terminator; Ctrl-Z (26) marks the end of the text.
// Nothing is rejected: any bytes give a title (or none) and records. With a
// layout, the lines read are kept there as they stood.
Manifest ReadManifest(std::string_view bytes, const AnsiDecoder& decodeAnsi,
                      ManifestLayout* layout = nullptr);

// Removes every character coded 32 or below from both ends.
std::string_view TrimControlAndSpace(std::string_view text);

}  // namespace kestrune
