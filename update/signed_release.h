// What the launcher asks of the files it keeps when it is built with the
// maker's key: the release list the maker signed checks out, is no older
// than the one kept, and vouches for the manifest and every file kept.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/file_system.h"
#include "common/internet.h"
#include "update/download.h"
#include "update/minisign.h"
#include "update/release_list.h"

namespace kestrune {

// Why a release list is refused: its signature (None when it checks out),
// then its lines, which are only read once the signature checks out.
struct ReleaseListCheck {
  SignatureCheck signature;
  ParsedReleaseList parsed;
  bool Accepted() const { return signature.problem == SignatureProblem::None && parsed.list; }
};

// Checks a list's bytes against its signature file: made with key for
// "updater.b2sums", dated, and no older than keptTimestamp when there is
// one (Older otherwise); then reads its lines.
ReleaseListCheck VerifyReleaseList(const MinisignKey& key, std::string_view signatureFile,
                                   std::string_view listBytes,
                                   std::optional<std::uint64_t> keptTimestamp);

// Whether the list names fileName with exactly this hash.
bool ListVouchesFor(const ReleaseList& list, std::string_view fileName, const FileHash& hash);

// Whether the file at path, which is there, holds other bytes than the
// accepted list names for fileName. A file the list does not name is taken
// as it is; one whose line is the same in the kept list is current unread;
// any other is hashed (and one that cannot be read counts as outdated).
bool IsOutdated(FileSystem& files, const ReleaseList& accepted, const ReleaseList* kept,
                const std::string& fileName, const std::string& path);

class SignedRelease {
 public:
  // An empty key asks for nothing; a key that cannot be read refuses every
  // file rather than checking none.
  explicit SignedRelease(const std::string& publicKey);
  SignedRelease(const SignedRelease&) = delete;
  SignedRelease& operator=(const SignedRelease&) = delete;

  bool Required() const { return required_; }

  // The check of the manifest's download: fetches the list's signature and
  // the list beside it, and passes only when the list is accepted (see
  // VerifyReleaseList; keptSignature is the one kept with the last list)
  // and names the manifest with the hash of the bytes that arrived. Only
  // then are AcceptedList and its bytes set, to be kept with the manifest.
  DownloadCheck ForManifest(Internet& internet, const std::string& agent,
                            const std::string& updateBaseUrl,
                            std::optional<std::string> keptSignature);

  const std::optional<ReleaseList>& AcceptedList() const { return list_; }
  const std::string& AcceptedListBytes() const { return listBytes_; }
  const std::string& AcceptedListSignature() const { return listSignature_; }

  // The check of an entry's download against the accepted list; nothing
  // when a key is required and the list does not name the file, which is
  // then refused without being asked for. Without a key, no check.
  std::optional<DownloadCheck> ForEntry(const std::string& fileName) const;

 private:
  bool required_ = false;
  std::optional<MinisignKey> key_;
  std::optional<ReleaseList> list_;
  std::string listBytes_;
  std::string listSignature_;
};

}  // namespace kestrune
