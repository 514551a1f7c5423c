#include "update/release_list.h"

namespace kestrune {

namespace {

constexpr std::size_t kHexDigits = 2 * sizeof(FileHash);

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::optional<FileHash> ParseHash(std::string_view hex) {
  if (hex.size() != kHexDigits) return std::nullopt;
  FileHash hash{};
  for (std::size_t i = 0; i < hash.size(); ++i) {
    const int high = HexValue(hex[2 * i]);
    const int low = HexValue(hex[2 * i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    hash[i] = static_cast<std::uint8_t>(high << 4 | low);
  }
  return hash;
}

std::optional<std::string> Unescape(std::string_view name) {
  std::string out;
  out.reserve(name.size());
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (name[i] != '\\') {
      out.push_back(name[i]);
      continue;
    }
    if (++i == name.size()) return std::nullopt;
    switch (name[i]) {
      case '\\':
        out.push_back('\\');
        break;
      case 'n':
        out.push_back('\n');
        break;
      case 'r':
        out.push_back('\r');
        break;
      default:
        return std::nullopt;
    }
  }
  return out;
}

// One line's file, or why it is not one.
std::optional<ListedFile> ParseLine(std::string_view line, std::string& problem) {
  const bool escaped = line.starts_with('\\');
  if (escaped) line.remove_prefix(1);
  const std::optional<FileHash> hash = ParseHash(line.substr(0, kHexDigits));
  if (!hash) {
    problem = "not 128 hex digits of a BLAKE2b-512 hash";
    return std::nullopt;
  }
  line.remove_prefix(kHexDigits);
  if (line.size() < 3 || line[0] != ' ' || (line[1] != ' ' && line[1] != '*')) {
    problem = "the hash is not followed by two blanks (or a blank and '*') and a name";
    return std::nullopt;
  }
  line.remove_prefix(2);
  ListedFile file;
  file.hash = *hash;
  if (!escaped) {
    file.name = std::string(line);
    return file;
  }
  std::optional<std::string> name = Unescape(line);
  if (!name) {
    problem = "an escaped name with a '\\' that is not \\\\, \\n or \\r";
    return std::nullopt;
  }
  file.name = std::move(*name);
  return file;
}

}  // namespace

std::string ListedNameKey(std::string_view name) {
  std::string key(name);
  for (char& c : key) {
    if (c == '\\') c = '/';
  }
  while (key.starts_with("./")) key.erase(0, 2);
  return key;
}

const ListedFile* ReleaseList::Find(std::string_view name) const {
  const auto at = byName.find(ListedNameKey(name));
  return at == byName.end() ? nullptr : &files[at->second];
}

ParsedReleaseList ParseReleaseList(std::string_view text) {
  ParsedReleaseList parsed;
  ReleaseList list;
  int number = 0;
  while (!text.empty()) {
    ++number;
    const std::size_t lf = text.find('\n');
    std::string_view line = text.substr(0, lf);
    if (line.ends_with('\r')) line.remove_suffix(1);
    text = lf == std::string_view::npos ? std::string_view() : text.substr(lf + 1);
    std::optional<ListedFile> file = ParseLine(line, parsed.problem);
    if (!file) {
      parsed.badLine = number;
      return parsed;
    }
    file->line = number;
    list.files.push_back(std::move(*file));
  }
  for (std::size_t i = 0; i < list.files.size(); ++i) {
    const ListedFile& file = list.files[i];
    const auto [at, isNew] = list.byName.emplace(ListedNameKey(file.name), i);
    if (!isNew && list.files[at->second].hash != file.hash) {
      parsed.badLine = file.line;
      parsed.problem = "the name is listed before with another hash";
      return parsed;
    }
  }
  parsed.list = std::move(list);
  return parsed;
}

std::string ReleaseListLine(std::string_view name, const FileHash& hash) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string escapedName;
  bool escaped = false;
  for (const char c : name) {
    switch (c) {
      case '\\':
        escapedName += "\\\\";
        escaped = true;
        break;
      case '\n':
        escapedName += "\\n";
        escaped = true;
        break;
      case '\r':
        escapedName += "\\r";
        escaped = true;
        break;
      default:
        escapedName.push_back(c);
    }
  }
  std::string line = escaped ? "\\" : "";
  for (const std::uint8_t byte : hash) {
    line.push_back(kHex[byte >> 4]);
    line.push_back(kHex[byte & 0x0F]);
  }
  return line + "  " + escapedName + "\n";
}

}  // namespace kestrune
