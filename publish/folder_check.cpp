#include "publish/folder_check.h"

#include <algorithm>
#include <fstream>
#include <set>
#include <string>
#include <system_error>
#include <vector>

#include "common/texts.h"
#include "publish/manifest_check.h"
#include "publish/utf8_path.h"

namespace kestrune::publish {

namespace fs = std::filesystem;

namespace {

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i];
    char y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// A name's folders and file, split at either separator as the launcher's
// address and path both are.
std::vector<std::string> Components(const std::string& name) {
  std::vector<std::string> parts;
  std::string part;
  for (char c : name) {
    if (c == '\\' || c == '/') {
      if (!part.empty()) parts.push_back(std::move(part));
      part.clear();
    } else {
      part.push_back(c);
    }
  }
  if (!part.empty()) parts.push_back(std::move(part));
  return parts;
}

struct Located {
  enum class How { kExact, kOtherCase, kMissing } how = How::kMissing;
  fs::path path;  // what the folder holds, when it holds it in some case
};

// Looks each part up by its exact name, else by a name that differs in
// letter case only; a Windows folder would find both the same way, which
// is why the folder is listed rather than asked.
Located Locate(const fs::path& folder, const std::string& name) {
  Located found;
  found.how = Located::How::kExact;
  found.path = folder;
  for (const std::string& part : Components(name)) {
    std::error_code error;
    fs::path exact;
    fs::path otherCase;
    for (const fs::directory_entry& item : fs::directory_iterator(found.path, error)) {
      const std::string itemName = Utf8FromPath(item.path().filename());
      if (itemName == part) exact = item.path();
      if (otherCase.empty() && SameIgnoringCase(itemName, part)) otherCase = item.path();
    }
    if (!exact.empty()) {
      found.path = exact;
    } else if (!otherCase.empty()) {
      found.path = otherCase;
      found.how = Located::How::kOtherCase;
    } else {
      return {};
    }
  }
  std::error_code error;
  if (!fs::is_regular_file(found.path, error)) return {};
  return found;
}

// What the folder holds under name, beside updater.txt (the list or its
// signature), as a launcher fetching it under its exact name gets it;
// nothing, with the reason reported, when it does not get it whole.
struct Beside {
  std::string where;  // the path a finding names
  std::optional<std::string> bytes;
};

Beside ReadBeside(const fs::path& folder, const std::string& name, std::uintmax_t maxBytes,
                  CheckReport& report) {
  const bool isSignature = name.ends_with(kSignatureSuffix);
  Beside read;
  read.where = Utf8FromPath(folder / PathFromUtf8(name));
  const Located found = Locate(folder, name);
  std::string missing;
  if (found.how == Located::How::kMissing) {
    missing = "not in the folder";
  } else if (found.how == Located::How::kOtherCase) {
    missing = "it is there only as " + Quoted(Utf8FromPath(found.path.lexically_relative(folder)));
  }
  if (!missing.empty()) {
    if (isSignature) {
      ReportSignatureProblem(report, read.where, SignatureProblem::Missing, missing);
    } else {
      report.AddAt(Severity::kError, "list-missing", read.where, 0,
                   missing + " (kestrune-publish sums writes it): " + ManifestRefusal());
    }
    return read;
  }
  FolderFile file = ReadFolderFile(found.path, maxBytes);
  switch (file.outcome) {
    case FolderFile::Outcome::kRead:
      read.bytes = std::move(file.bytes);
      break;
    case FolderFile::Outcome::kUnreadable:
      report.AddAt(Severity::kError, "unreadable-file", read.where, 0, "cannot read it");
      break;
    case FolderFile::Outcome::kTooLarge:
      if (isSignature) {
        ReportSignatureProblem(report, read.where, SignatureProblem::Malformed,
                               SignatureTooLong(file.size));
      } else {
        report.AddAt(Severity::kError, "too-large", read.where, 0,
                     "longer than the " + std::to_string(maxBytes) + " bytes the launcher takes (" +
                         std::to_string(file.size) + " bytes found): " + ManifestRefusal());
      }
      break;
  }
  return read;
}

// The list a launcher built with key would accept from folder, each
// refusal reported.
std::optional<ReleaseList> CheckListInFolder(const fs::path& folder, const CheckKey& key,
                                             CheckReport& report, std::string& listWhere) {
  const std::string listName = texts::kRemoteReleaseListName;
  const Beside signature =
      ReadBeside(folder, listName + kSignatureSuffix, kMaxSignatureFileSize, report);
  const Beside list = ReadBeside(folder, listName, kMaxReleaseListBytes, report);
  listWhere = list.where;
  if (!signature.bytes || !list.bytes) return std::nullopt;
  return CheckReleaseList(report, key, *signature.bytes, *list.bytes, signature.where, list.where);
}

}  // namespace

FolderFile ReadFolderFile(const fs::path& path, std::uintmax_t maxBytes) {
  FolderFile read;
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    read.outcome = FolderFile::Outcome::kUnreadable;
    return read;
  }
  std::error_code error;
  const std::uintmax_t size = fs::file_size(path, error);
  if (!error && size > maxBytes) {
    read.outcome = FolderFile::Outcome::kTooLarge;
    read.size = size;
    return read;
  }
  // Read in blocks: GCC 12 warns of a null dereference inside
  // istreambuf_iterator when it is inlined here.
  char block[4096];
  while (read.bytes.size() <= maxBytes && (file.read(block, sizeof block) || file.gcount() > 0)) {
    read.bytes.append(block, static_cast<std::size_t>(file.gcount()));
  }
  if (file.bad()) {
    read.outcome = FolderFile::Outcome::kUnreadable;
    read.bytes.clear();
  } else if (read.bytes.size() > maxBytes) {
    read.outcome = FolderFile::Outcome::kTooLarge;
    read.size = read.bytes.size();
    read.bytes.clear();
  } else {
    read.outcome = FolderFile::Outcome::kRead;
  }
  return read;
}

void CheckFolder(const fs::path& folder, CheckReport& report, std::string_view manifestBytes,
                 const std::optional<CheckKey>& key) {
  std::set<fs::path> listed;
  const auto addListed = [&](const fs::path& path) { listed.insert(path.lexically_normal()); };
  const std::string listName = texts::kRemoteReleaseListName;
  addListed(folder / texts::kRemoteManifestName);
  addListed(folder / listName);
  addListed(folder / (listName + kSignatureSuffix));
  std::optional<ReleaseList> list;
  std::string listWhere;
  if (key) list = CheckListInFolder(folder, *key, report, listWhere);
  if (list) {
    CheckListed(report, *list, listWhere, texts::kRemoteManifestName, HashOfBytes(manifestBytes), 0,
                ManifestRefusal());
  }
  std::set<std::string> checkedAgainstList;  // a file listed twice is fetched once
  const std::string folderText = Utf8FromPath(folder);
  for (const EntryView& entry : report.entries) {
    if (!entry.fetched) continue;
    const Located found = Locate(folder, entry.name);
    if (list && found.how != Located::How::kMissing &&
        checkedAgainstList.insert(SameFileKey(entry.name)).second) {
      if (const std::optional<FileHash> hash = HashOfFile(found.path)) {
        CheckListed(report, *list, listWhere, entry.name, *hash, entry.line, FileRefusal());
      } else {
        report.Add(Severity::kError, "unreadable-file", entry.line,
                   Quoted(entry.name) + ": cannot read it to check it against the list");
      }
    }
    switch (found.how) {
      case Located::How::kExact:
        addListed(found.path);
        break;
      case Located::How::kOtherCase:
        addListed(found.path);
        report.Add(Severity::kError, "case-mismatch", entry.line,
                   Quoted(entry.name) + " is in " + folderText + " only as " +
                       Quoted(Utf8FromPath(found.path.lexically_relative(folder))) +
                       ": a server that tells letter case apart answers 404, and customers "
                       "get \"" +
                       texts::kUpdateProblem + "\"");
        break;
      case Located::How::kMissing:
        report.Add(Severity::kError, "missing-file", entry.line,
                   Quoted(entry.name) + " is not in " + folderText +
                       ": customers who lack it get \"" + texts::kUpdateProblem + "\"");
        break;
    }
  }

  // Both this walk and the lookups above start from folder as given, so
  // the same file has the same path in both.
  std::error_code error;
  std::vector<fs::path> unlisted;
  for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end;
       it.increment(error)) {
    std::error_code typeError;
    if (!it->is_regular_file(typeError)) continue;
    if (!listed.count(it->path().lexically_normal())) unlisted.push_back(it->path());
  }
  std::sort(unlisted.begin(), unlisted.end());
  for (const fs::path& path : unlisted) {
    report.AddAt(Severity::kWarning, "unlisted-file", Utf8FromPath(path), 0,
                 "no entry lists this file: no customer gets it");
  }
  if (error) {
    report.AddAt(Severity::kError, "unreadable-folder", folderText, 0,
                 "cannot list the folder: " + error.message());
  }
}

std::optional<std::string> ListRelease(const fs::path& folder, std::string_view manifestBytes,
                                       const CheckReport& report, CheckReport& problems) {
  std::string list = ReleaseListLine(texts::kRemoteManifestName, HashOfBytes(manifestBytes));
  std::set<std::string> seen;
  for (const EntryView& entry : report.entries) {
    if (!entry.fetched || !seen.insert(SameFileKey(entry.name)).second) continue;
    const Located found = Locate(folder, entry.name);
    const std::optional<FileHash> hash =
        found.how == Located::How::kExact ? HashOfFile(found.path) : std::nullopt;
    if (!hash) {
      problems.Add(Severity::kError, "unreadable-file", entry.line,
                   Quoted(entry.name) + ": cannot read it in " + Utf8FromPath(folder));
      return std::nullopt;
    }
    // As b2sum prints the name it is given on the maker's disk, where the
    // separator is '/'.
    std::string name = entry.name;
    std::replace(name.begin(), name.end(), '\\', '/');
    list += ReleaseListLine(name, *hash);
  }
  return list;
}

}  // namespace kestrune::publish
