#include "update/entry_name.h"

#include <array>
#include <cctype>
#include <string>

#include "update/download.h"

namespace kestrune {

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// ':' names a drive or an alternate data stream; a control character could
// make a shown name differ from the one written.
bool IsForbiddenCharacter(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u < 32 || u == 127 || c == ':';
}

std::string Upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

// Windows opens a device for these names in any folder and with any
// extension ("nul.txt", "tools\com1.exe").
bool IsDeviceName(std::string_view component) {
  std::string_view base = component.substr(0, component.find('.'));
  while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
  const std::string upper = Upper(base);
  static constexpr std::array<std::string_view, 6> kNames = {"CON",    "PRN",     "AUX",
                                                             "NUL",    "CONIN$",  "CONOUT$"};
  for (std::string_view name : kNames) {
    if (upper == name) return true;
  }
  if (upper.size() >= 4 && (upper.starts_with("COM") || upper.starts_with("LPT"))) {
    const std::string_view suffix = std::string_view(upper).substr(3);
    if (suffix.size() == 1 && suffix[0] >= '0' && suffix[0] <= '9') return true;
    // COM¹, COM², COM³ (and LPT) are devices too; UTF-8 here.
    if (suffix == "\xC2\xB9" || suffix == "\xC2\xB2" || suffix == "\xC2\xB3") return true;
  }
  return false;
}

std::string_view ComponentRefusal(std::string_view component) {
  // An empty component ("a\\b", a trailing separator) adds no level.
  if (component.empty()) return {};
  // Windows drops trailing dots and spaces, so "..", "... " and "x." are
  // not the names they seem.
  const char last = component.back();
  if (component == "." || component == "..") return "it has a \".\" or \"..\" folder";
  if (last == '.' || last == ' ') return "a part of it ends in a dot or a space, which Windows drops";
  if (IsDeviceName(component)) return "it names a Windows device (CON, NUL, COM1, ...)";
  return {};
}

// A listed file under a download's temporary name would be overwritten by
// that download and then moved away, leaving the entry without its file and
// without a box. Compared without case, as Windows names are.
bool HasPartialDownloadSuffix(std::string_view name) {
  const std::string_view suffix = kPartialDownloadSuffix;
  if (name.size() < suffix.size()) return false;
  return Upper(name.substr(name.size() - suffix.size())) == Upper(suffix);
}

}  // namespace

std::string_view EntryNameRefusal(std::string_view name) {
  // A blank name is the working directory itself: nothing outside it.
  if (name.empty()) return {};
  if (IsSeparator(name.front())) return "it starts with a separator (a root or network path)";
  if (HasPartialDownloadSuffix(name)) return "it ends in the launcher's own download suffix";
  for (char c : name) {
    if (c == ':') return "it holds ':' (a drive or an alternate data stream)";
    if (IsForbiddenCharacter(c)) return "it holds a control character";
  }
  std::size_t start = 0;
  while (start <= name.size()) {
    std::size_t end = start;
    while (end < name.size() && !IsSeparator(name[end])) ++end;
    const std::string_view refusal = ComponentRefusal(name.substr(start, end - start));
    if (!refusal.empty()) return refusal;
    start = end + 1;
  }
  return {};
}

bool IsSafeEntryName(std::string_view name) { return EntryNameRefusal(name).empty(); }

}  // namespace kestrune
