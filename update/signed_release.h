// What the launcher asks of the files it keeps when it is built with the
// maker's key: the release list the maker signed checks out, is no older
// than the one kept, and vouches for the manifest and every file kept.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/file_system.h"
#include "common/internet.h"
#include "update/download.h"
#include "update/minisign.h"
#include "update/release_list.h"
#include "update/verified_files.h"

namespace kestrune {

// Why a release list is refused: its signature (None when it checks out),
// then its lines, which are only read once the signature checks out.
struct ReleaseListCheck {
  SignatureCheck signature;
  ParsedReleaseList parsed;
  bool Accepted() const { return signature.problem == SignatureProblem::None && parsed.list; }
};

// Checks a list's bytes against its signature file: made with one of keys
// for "updater.b2sums", dated, and signed no earlier than floor (Older
// otherwise; 0 takes any date); then reads its lines.
ReleaseListCheck VerifyReleaseList(std::span<const MinisignKey> keys,
                                   std::string_view signatureFile, std::string_view listBytes,
                                   std::uint64_t floor);

// Whether the list names fileName with exactly this hash.
bool ListVouchesFor(const ReleaseList& list, std::string_view fileName, const FileHash& hash);

// Whether the file at path, which is there, holds other bytes than the
// accepted list names for fileName. A file the list does not name is taken
// as it is; one the record knows is told by the record, unread; any other
// is hashed once, and what it holds is recorded (one that cannot be read
// counts as outdated).
bool IsOutdated(FileSystem& files, const ReleaseList& accepted, VerifiedFiles& record,
                const std::string& fileName, const std::string& path);

class SignedRelease {
 public:
  // publicKeys: one or more keys separated by ';'. Empty asks for nothing;
  // keys that cannot be read refuse every file rather than checking none.
  // No list signed before minimumTimestamp is ever accepted (0: none).
  SignedRelease(const std::string& publicKeys, std::uint64_t minimumTimestamp);
  SignedRelease(const SignedRelease&) = delete;
  SignedRelease& operator=(const SignedRelease&) = delete;

  bool Required() const { return required_; }

  // The check of the manifest's download: fetches the list's signature and
  // the list beside it, and passes only when the list is accepted (see
  // VerifyReleaseList) and names the manifest with the hash of the bytes
  // that arrived. Only then are AcceptedList and its bytes set, to be kept
  // with the manifest. The floor is the later of the minimum and the date
  // of keptSignature, the one kept with the last list accepted, when one of
  // the keys signed it; a kept signature that is missing or does not check
  // out leaves the minimum.
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
  std::optional<std::vector<MinisignKey>> keys_;
  std::uint64_t minimumTimestamp_ = 0;
  std::optional<ReleaseList> list_;
  std::string listBytes_;
  std::string listSignature_;
};

}  // namespace kestrune
