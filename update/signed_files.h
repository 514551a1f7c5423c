// What the launcher asks of the files it keeps when it is built with the
// maker's key: each is signed, for its own name, and the manifest is never
// older than the one kept.
#pragma once

#include <optional>
#include <string>

#include "common/internet.h"
#include "update/download.h"
#include "update/minisign.h"

namespace kestrune {

// Where a file's signature is: beside it, under its name and this suffix.
inline constexpr char kSignatureSuffix[] = ".minisig";

// The name a file's signature must name: its last path component.
std::string SignedFileName(const std::string& entryName);

class SignatureRequirement {
 public:
  // An empty key asks for nothing; a key that cannot be read refuses every
  // file rather than checking none.
  explicit SignatureRequirement(const std::string& publicKey);

  bool Required() const { return required_; }

  // The check of a manifest download: its signature fetched from
  // signatureUrl must check out for fileName and be no older than the kept
  // one. What was accepted is left in acceptedSignature, to be kept.
  DownloadCheck ForManifest(Internet& internet, const std::string& agent,
                            const std::string& signatureUrl, const std::string& fileName,
                            std::optional<std::string> keptSignature,
                            std::string& acceptedSignature) const;

  // The check of an entry's download.
  DownloadCheck ForFile(Internet& internet, const std::string& agent,
                        const std::string& signatureUrl, const std::string& fileName) const;

 private:
  bool required_ = false;
  std::optional<MinisignKey> key_;
};

}  // namespace kestrune
