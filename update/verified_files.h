// What the files in the working directory hold, as this launcher last saw
// them: kept by a launcher that replaces changed files, so that a start
// where nothing changed reads no file, and a file it never checked is read
// once rather than taken on trust.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "common/file_system.h"
#include "update/minisign.h"

namespace kestrune {

// "updater1.verified.b2sums" in the working directory, its only writer.
//
// Each line, as b2sum prints it, names a file and the hash of the bytes
// this launcher found in it (hashed them itself) or put there (checked
// them against the signed list, then moved them into place). It describes
// the files, not a release: the list a start accepted ("updater1.b2sums")
// says what the files should be, this record says what they are. A file
// with no line is unknown and is hashed before anything is decided on it.
//
// When it is written: a file's line goes before anything is put in that
// file's place and its new line once the new bytes are there, each at
// once, so a start cut off at any point never leaves a line for bytes that
// are gone. Lines for files that were only hashed are written at the end
// of the start (losing them costs only a second reading).
//
// A record that cannot be read, or is not all b2sum lines, counts as empty.
class VerifiedFiles {
 public:
  VerifiedFiles(FileSystem& files, std::string path);
  VerifiedFiles(const VerifiedFiles&) = delete;
  VerifiedFiles& operator=(const VerifiedFiles&) = delete;

  // The hash of what the file named name holds, as far as the record knows.
  std::optional<FileHash> HashOf(std::string_view name) const;
  // The file was hashed and holds these bytes; saved with Save.
  void Found(std::string_view name, const FileHash& hash);
  // The file named name is about to be replaced or written: its line goes,
  // on the disk too, first.
  void Forget(std::string_view name);
  // The file now holds these bytes, put there by this launcher: saved now.
  void Wrote(std::string_view name, const FileHash& hash);
  // Writes what is not on the disk yet; throws IoError.
  void Save();

 private:
  struct Line {
    std::string name;
    FileHash hash{};
  };
  FileSystem& files_;
  std::string path_;
  // By the name the signed list matches names by, so that "tools\a.exe"
  // and "tools/a.exe" are one file.
  std::map<std::string, Line> lines_;
  bool unsaved_ = false;
};

}  // namespace kestrune
