#include "update/verified_files.h"

#include <utility>

#include "update/download.h"
#include "update/release_list.h"

namespace kestrune {

VerifiedFiles::VerifiedFiles(FileSystem& files, std::string path)
    : files_(files), path_(std::move(path)) {
  if (!files_.FileExists(path_)) return;
  std::optional<ReleaseList> record;
  try {
    record = ParseReleaseList(files_.ReadWholeFile(path_)).list;
  } catch (const IoError&) {
  }
  if (!record) return;
  for (ListedFile& file : record->files) {
    std::string key = ListedNameKey(file.name);
    lines_[std::move(key)] = Line{std::move(file.name), file.hash};
  }
}

std::optional<FileHash> VerifiedFiles::HashOf(std::string_view name) const {
  const auto at = lines_.find(ListedNameKey(name));
  if (at == lines_.end()) return std::nullopt;
  return at->second.hash;
}

void VerifiedFiles::Found(std::string_view name, const FileHash& hash) {
  lines_[ListedNameKey(name)] = Line{std::string(name), hash};
  unsaved_ = true;
}

void VerifiedFiles::Forget(std::string_view name) {
  if (lines_.erase(ListedNameKey(name)) == 0) return;
  unsaved_ = true;
  Save();
}

void VerifiedFiles::Wrote(std::string_view name, const FileHash& hash) {
  Found(name, hash);
  Save();
}

void VerifiedFiles::Save() {
  if (!unsaved_) return;
  std::string text;
  for (const auto& [key, line] : lines_) text += ReleaseListLine(line.name, line.hash);
  WriteFileReplacing(files_, path_, text);
  unsaved_ = false;
}

}  // namespace kestrune
