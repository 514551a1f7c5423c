#include "update/signed_release.h"

#include <utility>

#include "common/texts.h"
#include "update/entries.h"

namespace kestrune {

ReleaseListCheck VerifyReleaseList(const MinisignKey& key, std::string_view signatureFile,
                                   std::string_view listBytes,
                                   std::optional<std::uint64_t> keptTimestamp) {
  ReleaseListCheck check;
  check.signature =
      VerifyMinisign(key, signatureFile, HashOfBytes(listBytes), texts::kRemoteReleaseListName);
  if (check.signature.problem != SignatureProblem::None) return check;
  // An older list, validly signed, must not bring back files the maker has
  // replaced or withdrawn since.
  if (keptTimestamp && *check.signature.timestamp < *keptTimestamp) {
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

bool IsOutdated(FileSystem& files, const ReleaseList& accepted, const ReleaseList* kept,
                const std::string& fileName, const std::string& path) {
  const ListedFile* now = accepted.Find(fileName);
  if (!now) return false;
  if (const ListedFile* before = kept ? kept->Find(fileName) : nullptr;
      before && before->hash == now->hash) {
    return false;
  }
  // Hashed rather than taken as changed: after a start that was cut short
  // the kept list is older than the files, which are then current already.
  try {
    return HashOfFile(files, path) != now->hash;
  } catch (const IoError&) {
    return true;
  }
}

SignedRelease::SignedRelease(const std::string& publicKey)
    : required_(!publicKey.empty()), key_(ParseMinisignKey(publicKey)) {}

DownloadCheck SignedRelease::ForManifest(Internet& internet, const std::string& agent,
                                         const std::string& updateBaseUrl,
                                         std::optional<std::string> keptSignature) {
  if (!required_) return {};
  return [this, &internet, agent, updateBaseUrl,
          kept = std::move(keptSignature)](const FileHash& manifestHash) {
    if (!key_) return false;
    SmallFile signature = FetchSmallFile(
        internet, agent,
        EntryAddress(updateBaseUrl, texts::kRemoteReleaseListName) + kSignatureSuffix,
        kMaxSignatureFileSize);
    if (!signature.body) return false;
    SmallFile list =
        FetchSmallFile(internet, agent, EntryAddress(updateBaseUrl, texts::kRemoteReleaseListName),
                       kMaxReleaseListBytes);
    if (!list.body) return false;
    ReleaseListCheck check = VerifyReleaseList(*key_, *signature.body, *list.body,
                                               kept ? SignedTimestamp(*kept) : std::nullopt);
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
