#include "update/signed_files.h"

namespace kestrune {

std::string SignedFileName(const std::string& entryName) {
  const std::size_t slash = entryName.find_last_of("\\/");
  return slash == std::string::npos ? entryName : entryName.substr(slash + 1);
}

SignatureRequirement::SignatureRequirement(const std::string& publicKey)
    : required_(!publicKey.empty()), key_(ParseMinisignKey(publicKey)) {}

DownloadCheck SignatureRequirement::ForManifest(Internet& internet, const std::string& agent,
                                                const std::string& signatureUrl,
                                                const std::string& fileName,
                                                std::optional<std::string> keptSignature,
                                                std::string& acceptedSignature) const {
  if (!required_) return {};
  return [this, &internet, agent, signatureUrl, fileName, kept = std::move(keptSignature),
          &acceptedSignature](const FileHash& hash) {
    const std::optional<std::string> signature =
        FetchSmallFile(internet, agent, signatureUrl, kMaxSignatureFileSize);
    if (!signature || !key_) return false;
    const SignatureCheck check = VerifyMinisign(*key_, *signature, hash, fileName);
    if (check.problem != SignatureProblem::None) return false;
    // A recorded older manifest, validly signed, must not bring back files
    // the maker has withdrawn since.
    if (const std::optional<std::uint64_t> keptTime = kept ? SignedTimestamp(*kept) : std::nullopt) {
      if (!check.timestamp || *check.timestamp < *keptTime) return false;
    }
    acceptedSignature = *signature;
    return true;
  };
}

DownloadCheck SignatureRequirement::ForFile(Internet& internet, const std::string& agent,
                                            const std::string& signatureUrl,
                                            const std::string& fileName) const {
  if (!required_) return {};
  return [this, &internet, agent, signatureUrl, fileName](const FileHash& hash) {
    const std::optional<std::string> signature =
        FetchSmallFile(internet, agent, signatureUrl, kMaxSignatureFileSize);
    return signature && key_ &&
           VerifyMinisign(*key_, *signature, hash, fileName).problem == SignatureProblem::None;
  };
}

}  // namespace kestrune
