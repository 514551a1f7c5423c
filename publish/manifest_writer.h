// The manifest `new` writes: Windows-1252, a CR LF after every line, and
// only what the launcher will read back as written.
#pragma once

#include <string>
#include <vector>

#include "publish/check_report.h"
#include "update/manifest.h"

namespace kestrune::publish {

struct WrittenManifest {
  std::string bytes;  // to be written only when report.Passed()
  // The text's check, as `check` would make it, plus what cannot even be
  // written (no Windows-1252 form, line breaks); source names the file.
  CheckReport report;
};

// title and records in UTF-8.
WrittenManifest WriteManifest(const std::string& title, const std::vector<ManifestRecord>& records,
                              const std::string& source, const std::string& updateBaseUrl,
                              const AnsiDecoder& decodeAnsi);

}  // namespace kestrune::publish
