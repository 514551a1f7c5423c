// The release list the maker signs, updater.b2sums: one line per file of the
// release, its BLAKE2b-512 hash and its name, as GNU b2sum prints them. With
// the maker's key, a file is kept only when its bytes hash to its line.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "update/minisign.h"

namespace kestrune {

// A list longer than this is refused as soon as it is seen to be longer,
// unread: a line is about 150 bytes, so this holds far more files than
// any manifest the launcher takes.
inline constexpr std::size_t kMaxReleaseListBytes = 16 * 1024 * 1024;

// Where a file's signature is: beside it, under its name and this suffix.
inline constexpr char kSignatureSuffix[] = ".minisig";

struct ListedFile {
  std::string name;  // unescaped, as b2sum was given it
  FileHash hash{};
  int line = 0;  // from 1
};

struct ReleaseList {
  std::vector<ListedFile> files;
  // Each name's line in files, by ListedNameKey: a start looks up every
  // entry, and a list may name thousands.
  std::unordered_map<std::string, std::size_t> byName;

  // The line for a manifest name: '\' and '/' are the same separator, and a
  // leading "./" (b2sum given ./name) is not part of the name. Letter case
  // counts, as it does on the server. Nothing when the list lacks it.
  const ListedFile* Find(std::string_view name) const;
};

struct ParsedReleaseList {
  std::optional<ReleaseList> list;
  int badLine = 0;      // the first line that is not one b2sum writes
  std::string problem;  // why, in a few words
};

// Reads a list. Lines end at LF or CR LF; each is 128 hex digits, a blank,
// a blank or '*', and the name; a line starting with '\' holds an escaped
// name (\\, \n and \r). One bad line, or one name listed twice with two
// hashes, refuses the whole list: it was signed as it stands.
ParsedReleaseList ParseReleaseList(std::string_view text);

// The line b2sum prints for a file named name whose bytes hash to hash,
// with its line end.
std::string ReleaseListLine(std::string_view name, const FileHash& hash);

// The key Find compares names by.
std::string ListedNameKey(std::string_view name);

}  // namespace kestrune
