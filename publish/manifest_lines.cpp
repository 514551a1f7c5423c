#include "publish/manifest_lines.h"

#include <algorithm>

namespace kestrune::publish {

namespace {

constexpr char kEndOfFileMark = 26;  // Ctrl-Z

bool HoldsMoreThanBlanks(std::string_view text) {
  return std::any_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) > 32; });
}

}  // namespace

ManifestLines SplitManifestLines(std::string_view bytes) {
  ManifestLines out;
  std::size_t pos = 0;
  int number = 0;
  // A line is everything up to a line feed; the reader stops at the end of
  // the bytes, so a closing line feed opens no further line.
  while (pos < bytes.size()) {
    ++number;
    const std::size_t lineStart = pos;
    const std::size_t feed = bytes.find('\n', pos);
    const std::size_t end = feed == std::string_view::npos ? bytes.size() : feed;
    std::string_view raw = bytes.substr(pos, end - pos);
    pos = feed == std::string_view::npos ? bytes.size() : feed + 1;

    if (!raw.empty() && raw.front() == kEndOfFileMark) {
      out.endMarkLine = number;
      out.textAfterEndMark = HoldsMoreThanBlanks(bytes.substr(lineStart + 1));
      break;
    }

    ManifestLine line;
    line.number = number;
    // The carriage return of a CR LF pair belongs to the line's end.
    if (feed != std::string_view::npos && !raw.empty() && raw.back() == '\r') {
      raw.remove_suffix(1);
    }
    const std::size_t mark = raw.find(kEndOfFileMark);
    if (mark != std::string_view::npos) {
      line.cutByEndMark = true;
      line.cutDropsText = HoldsMoreThanBlanks(raw.substr(mark + 1));
      raw = raw.substr(0, mark);
    }
    for (char c : raw) {
      if (c == '\r') {
        ++line.loneCarriageReturns;
      } else {
        line.text.push_back(c);
      }
    }
    out.lines.push_back(std::move(line));
  }
  return out;
}

}  // namespace kestrune::publish
