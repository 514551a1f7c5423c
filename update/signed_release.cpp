#include "update/signed_release.h"

#include <algorithm>
#include <utility>

#include "common/texts.h"
#include "update/entries.h"

namespace kestrune {

ReleaseListCheck VerifyReleaseList(std::span<const MinisignKey> keys,
                                   std::string_view signatureFile, std::string_view listBytes,
                                   std::uint64_t floor) {
  ReleaseListCheck check;
  check.signature =
      VerifyMinisign(keys, signatureFile, HashOfBytes(listBytes), texts::kRemoteReleaseListName);
  if (check.signature.problem != SignatureProblem::None) return check;
  // An older list, validly signed, must not bring back files the maker has
  // replaced or withdrawn since.
  if (*check.signature.timestamp < floor) {
    check.signature.problem = SignatureProblem::Older;
    return check;
  }
  check.parsed = ParseReleaseList(listBytes);
  return check;
}

bool ListVouchesFor(const ReleaseList& list, std::string_view fileName, const FileHash& hash) {
  const ListedFile* listed = list.Find(fileName);
  return listed && listed->hash == hash;
}

bool IsOutdated(FileSystem& files, const ReleaseList& accepted, VerifiedFiles& record,
                const std::string& fileName, const std::string& path) {
  const ListedFile* now = accepted.Find(fileName);
  if (!now) return false;
  if (const std::optional<FileHash> known = record.HashOf(now->name)) return *known != now->hash;
  // Never taken from what the list says: a list describes a release, and
  // the files may be of another (a start cut short, a build that did not
  // replace files) or of none.
  FileHash hash;
  try {
    hash = HashOfFile(files, path);
  } catch (const IoError&) {
    return true;
  }
  record.Found(now->name, hash);
  return hash != now->hash;
}

SignedRelease::SignedRelease(const std::string& publicKeys, std::uint64_t minimumTimestamp)
    : required_(!publicKeys.empty()),
      keys_(ParseMinisignKeys(publicKeys)),
      minimumTimestamp_(minimumTimestamp) {}

DownloadCheck SignedRelease::ForManifest(Internet& internet, const std::string& agent,
                                         const std::string& updateBaseUrl,
                                         std::optional<std::string> keptSignature) {
  if (!required_) return {};
  return [this, &internet, agent, updateBaseUrl,
          kept = std::move(keptSignature)](const FileHash& manifestHash) {
    if (!keys_) return false;
    SmallFile signature = FetchSmallFile(
        internet, agent,
        EntryAddress(updateBaseUrl, texts::kRemoteReleaseListName) + kSignatureSuffix,
        kMaxSignatureFileSize);
    if (!signature.body) return false;
    SmallFile list =
        FetchSmallFile(internet, agent, EntryAddress(updateBaseUrl, texts::kRemoteReleaseListName),
                       kMaxReleaseListBytes);
    if (!list.body) return false;
    std::uint64_t floor = minimumTimestamp_;
    if (kept) {
      floor = std::max(floor, VerifiedTimestamp(*keys_, *kept, texts::kRemoteReleaseListName)
                                  .value_or(std::uint64_t{0}));
    }
    ReleaseListCheck check = VerifyReleaseList(*keys_, *signature.body, *list.body, floor);
    if (!check.Accepted() ||
        !ListVouchesFor(*check.parsed.list, texts::kRemoteManifestName, manifestHash)) {
      return false;
    }
    list_ = std::move(check.parsed.list);
    listBytes_ = std::move(*list.body);
    listSignature_ = std::move(*signature.body);
    return true;
  };
}

std::optional<DownloadCheck> SignedRelease::ForEntry(const std::string& fileName) const {
  if (!required_) return DownloadCheck();
  if (!list_ || !list_->Find(fileName)) return std::nullopt;
  return DownloadCheck(
      [this, fileName](const FileHash& hash) { return ListVouchesFor(*list_, fileName, hash); });
}

}  // namespace kestrune
