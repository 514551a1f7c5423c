// The manifest's lines as the reader takes them: where a line ends, what
// happens to a lone carriage return and to the Ctrl-Z end mark. The reader
// and the maker's tool both walk a manifest with this, so they can never
// disagree on a line or its number.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kestrune {

struct ManifestLine {
  int number = 0;  // counted from 1, as an editor counts
  // The bytes kept: lone carriage returns dropped, cut at a Ctrl-Z. Not yet
  // decoded, not trimmed.
  std::string text;
  int loneCarriageReturns = 0;
  // A Ctrl-Z inside the line ended its text, and the rest of the physical
  // line was skipped; cutDropsText when that rest held more than blanks.
  bool cutByEndMark = false;
  bool cutDropsText = false;
};

// Lines end at LF or CR LF; a lone CR is dropped and the line goes on; the
// last line needs no terminator; a Ctrl-Z at the start of a line ends the
// text.
class ManifestLineReader {
 public:
  explicit ManifestLineReader(std::string_view bytes) : bytes_(bytes) {}

  // True at the end of the bytes or at a line that starts with the end mark.
  bool AtEnd() const { return pos_ >= bytes_.size() || bytes_[pos_] == kEndOfFileMark; }

  // Reads the next line. A line that starts with the end mark reads as an
  // empty line and stays where it is, so the next AtEnd() sees it.
  void ReadLine(ManifestLine& out);

  // Once AtEnd(): the number of the line that starts with the end mark, or
  // 0 when the bytes simply ran out; and whether anything but blanks follows
  // that mark, which is never read.
  int EndMarkLine() const;
  bool TextAfterEndMark() const;

 private:
  static constexpr char kEndOfFileMark = 26;  // Ctrl-Z

  std::string_view bytes_;
  std::size_t pos_ = 0;
  int linesRead_ = 0;
};

}  // namespace kestrune
