#include "app/program_files.h"

namespace kestrune {

namespace {

bool SameIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

std::string_view Trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

}  // namespace

bool RunsAsProgram(std::string_view path, std::string_view programExtensions) {
  const auto separator = path.find_last_of("\\/");
  const std::string_view name =
      separator == std::string_view::npos ? path : path.substr(separator + 1);
  const auto dot = name.rfind('.');
  if (dot == std::string_view::npos) return false;
  const std::string_view extension = name.substr(dot);
  if (SameIgnoringAsciiCase(extension, ".msi")) return true;
  while (!programExtensions.empty()) {
    const auto end = programExtensions.find(';');
    const std::string_view listed = Trimmed(programExtensions.substr(0, end));
    if (!listed.empty() && SameIgnoringAsciiCase(extension, listed)) return true;
    if (end == std::string_view::npos) break;
    programExtensions.remove_prefix(end + 1);
  }
  return false;
}

}  // namespace kestrune
