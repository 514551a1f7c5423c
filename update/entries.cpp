#include "update/entries.h"

#include <string_view>

namespace kestrune {

std::string JoinPath(const std::string& directory, char separator, const std::string& name) {
  if (!directory.empty() && directory.back() == separator) return directory + name;
  return directory + separator + name;
}

std::string EntryAddress(const std::string& updateBaseUrl, const std::string& fileName) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  static constexpr std::string_view kKept = "-._~!$&'()*+,;=:@/?#%[]";
  std::string address = updateBaseUrl;
  bool inQuery = false;
  for (const char c : fileName) {
    const auto byte = static_cast<unsigned char>(c);
    inQuery = inQuery || c == '?' || c == '#';
    if (c == '\\' && !inQuery) {
      address.push_back('/');
    } else if ((byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
               (byte >= '0' && byte <= '9') || kKept.find(c) != std::string_view::npos) {
      address.push_back(c);
    } else {
      address.push_back('%');
      address.push_back(kHex[byte >> 4]);
      address.push_back(kHex[byte & 0x0F]);
    }
  }
  return address;
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
