#include "publish/manifest_lines.h"

namespace kestrune::publish {

ManifestLines SplitManifestLines(std::string_view bytes) {
  ManifestLines out;
  ManifestLineReader reader(bytes);
  while (!reader.AtEnd()) {
    reader.ReadLine(out.lines.emplace_back());
  }
  out.endMarkLine = reader.EndMarkLine();
  out.textAfterEndMark = reader.TextAfterEndMark();
  return out;
}

}  // namespace kestrune::publish
