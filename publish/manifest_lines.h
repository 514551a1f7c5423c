// The lines of a manifest with their numbers, read with the launcher's own
// line reader, so that a problem can be shown at its line. What the lines
// mean is left to ReadManifest.
#pragma once

#include <string_view>
#include <vector>

#include "update/manifest_lines.h"

namespace kestrune::publish {

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
