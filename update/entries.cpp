#include "update/entries.h"

namespace kestrune {

std::string JoinPath(const std::string& directory, char separator, const std::string& name) {
  if (!directory.empty() && directory.back() == separator) return directory + name;
  return directory + separator + name;
}

std::string EntryAddress(const std::string& updateBaseUrl, const std::string& fileName) {
  return updateBaseUrl + fileName;
}

void FillEntries(const Manifest& manifest, const std::string& updateBaseUrl, char separator,
                 LauncherState& state) {
  state.localPaths.clear();
  state.remoteUrls.clear();
  state.buttonCaptions.clear();
  state.localPaths.reserve(manifest.records.size());
  state.remoteUrls.reserve(manifest.records.size());
  state.buttonCaptions.reserve(manifest.records.size());
  for (const ManifestRecord& record : manifest.records) {
    state.localPaths.push_back(JoinPath(state.workDir, separator, record.fileName));
    state.remoteUrls.push_back(EntryAddress(updateBaseUrl, record.fileName));
    state.buttonCaptions.push_back(record.caption);
  }
}

}  // namespace kestrune
