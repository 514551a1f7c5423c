// The signed release a launcher built with the maker's key asks for:
// updater.b2sums.minisig over updater.b2sums, then updater.txt and every
// file it fetches against that list, checked with the launcher's own code
// in a release folder or on a live server.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "publish/check_report.h"
#include "update/download.h"
#include "update/minisign.h"
#include "update/release_list.h"

namespace kestrune::publish {

// The keys a check verifies the list's signature with (one of them must
// have made it), and what the report shows of each.
struct CheckKey {
  std::vector<MinisignKey> keys;
  std::vector<SignatureKeyView> views;
};

// The key id as minisign shows it: upper-case hex, without leading zeros.
std::string KeyIdText(const MinisignKey& key);

// Adds a refusal of the list's signature, found at signatureWhere (its
// path or address); detail says what the maker can do about it.
void ReportSignatureProblem(CheckReport& report, const std::string& signatureWhere,
                            SignatureProblem problem, const std::string& detail);

// The refusal of a signature file that did not arrive whole.
void ReportSignatureTransfer(CheckReport& report, const std::string& signatureUrl,
                             const TransferReport& transfer);

// "N bytes, more than the M bytes a signature may have" (size: when known).
std::string SignatureTooLong(std::optional<std::uint64_t> size);

// Checks the list's bytes against its signature file as the launcher does
// (no kept list to be newer than) and reports each refusal: the signature
// at signatureWhere, a line b2sum does not write at its line of listWhere.
// The list when the launcher would accept it.
std::optional<ReleaseList> CheckReleaseList(CheckReport& report, const CheckKey& key,
                                            std::string_view signatureFile,
                                            std::string_view listBytes,
                                            const std::string& signatureWhere,
                                            const std::string& listWhere);

// Reports, at the manifest's line (0: updater.txt itself), a file named
// name whose bytes hashed to hash when the list does not vouch for it;
// consequence is what customers then see.
void CheckListed(CheckReport& report, const ReleaseList& list, const std::string& listWhere,
                 const std::string& name, const FileHash& hash, int line,
                 const std::string& consequence);

// The hash of a file's bytes, read block by block; nothing when it cannot
// be read.
std::optional<FileHash> HashOfFile(const std::filesystem::path& path);

}  // namespace kestrune::publish
