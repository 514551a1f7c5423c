// The lines of a manifest as the launcher's reader takes them, with their
// numbers and what the reader quietly does to each, so that a problem can
// be shown at its line. What the lines mean is left to ReadManifest.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace kestrune::publish {

struct ManifestLine {
  int number = 0;  // counted from 1, as an editor counts
  // The bytes the reader keeps: lone carriage returns dropped, cut at a
  // Ctrl-Z. Not yet decoded, not trimmed.
  std::string text;
  int loneCarriageReturns = 0;
  // A Ctrl-Z inside the line: the reader drops it and the rest of the line,
  // which may hold more than blanks.
  bool cutByEndMark = false;
  bool cutDropsText = false;
};

struct ManifestLines {
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

ManifestLines SplitManifestLines(std::string_view bytes);

}  // namespace kestrune::publish
