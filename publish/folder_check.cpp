#include "publish/folder_check.h"

#include <algorithm>
#include <set>
#include <string>
#include <system_error>
#include <vector>

#include "common/texts.h"
#include "publish/manifest_check.h"
#include "publish/utf8_path.h"
#include "update/signed_files.h"

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

// The signature the launcher fetches beside the file it names: under the
// exact name, as a server that tells letter case apart serves it.
void CheckSignatureBeside(const fs::path& folder, const fs::path& file, const std::string& name,
                          int line, const CheckKey& key, const std::string& consequence,
                          CheckReport& report) {
  fs::path expected = file;
  expected += kSignatureSuffix;
  const Located signature = Locate(folder, name + kSignatureSuffix);
  switch (signature.how) {
    case Located::How::kExact:
      CheckSignatureInFolder(report, key, file, signature.path, SignedFileName(name), line,
                             consequence);
      break;
    case Located::How::kOtherCase:
      ReportSignatureProblem(report, line, Utf8FromPath(expected), SignatureProblem::Missing,
                             "it is there only as " +
                                 Quoted(Utf8FromPath(signature.path.lexically_relative(folder))),
                             consequence);
      break;
    case Located::How::kMissing:
      ReportSignatureProblem(report, line, Utf8FromPath(expected), SignatureProblem::Missing,
                             "not in the folder", consequence);
      break;
  }
}

}  // namespace

void CheckFolder(const fs::path& folder, CheckReport& report, const std::optional<CheckKey>& key) {
  std::set<fs::path> listed;
  // A file's signature lies beside it; a launcher built with the maker's
  // key fetches it with the file.
  const auto addListed = [&](const fs::path& path) {
    listed.insert(path.lexically_normal());
    fs::path signature = path;
    signature += kSignatureSuffix;
    listed.insert(signature.lexically_normal());
  };
  addListed(folder / texts::kRemoteManifestName);
  if (key) {
    CheckSignatureBeside(folder, folder / texts::kRemoteManifestName, texts::kRemoteManifestName,
                         0, *key,
                         std::string("customers get \"") + texts::kManifestProblem + "\"", report);
  }
  const std::string fileRefused =
      std::string("customers who lack the file get \"") + texts::kUpdateProblem + "\"";
  std::set<std::string> signatureChecked;  // a file listed twice is fetched once
  const std::string folderText = Utf8FromPath(folder);
  for (const EntryView& entry : report.entries) {
    if (!entry.fetched) continue;
    const Located found = Locate(folder, entry.name);
    if (key && found.how != Located::How::kMissing &&
        signatureChecked.insert(SameFileKey(entry.name)).second) {
      CheckSignatureBeside(folder, found.path, entry.name, entry.line, *key, fileRefused, report);
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

}  // namespace kestrune::publish
