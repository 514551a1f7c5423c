// The signatures a launcher built with the maker's key asks for:
// updater.txt's and each listed file's .minisig beside it, checked with the
// launcher's own code, in a release folder or on a live server.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "common/internet.h"
#include "publish/check_report.h"
#include "update/minisign.h"

namespace kestrune::publish {

// The key a check verifies signatures with, and what the report shows of it.
struct CheckKey {
  MinisignKey key;
  SignatureKeyView view;
};

// The key of a minisign .pub file's text (an "untrusted comment:" line,
// then the key line); nothing when the text is not one.
std::optional<MinisignKey> ParsePublicKeyFile(std::string_view text);

// The key id as minisign shows it: upper-case hex, without leading zeros.
std::string KeyIdText(const MinisignKey& key);

// Adds a refusal of the signature at where (its path or address) at line;
// consequence is what customers then see.
void ReportSignatureProblem(CheckReport& report, int line, const std::string& where,
                            SignatureProblem problem, const std::string& detail,
                            const std::string& consequence);

// Verifies the signature file at signaturePath, in a release folder, for
// the bytes of file as signedName; adds the refusal, if any.
void CheckSignatureInFolder(CheckReport& report, const CheckKey& key,
                            const std::filesystem::path& file,
                            const std::filesystem::path& signaturePath,
                            const std::string& signedName, int line,
                            const std::string& consequence);

// Fetches fileUrl + ".minisig" as the launcher does and verifies it for a
// body that hashed to hash, as signedName; adds the refusal, if any.
void CheckSignatureOnServer(CheckReport& report, const CheckKey& key, Internet& internet,
                            const std::string& agent, const std::string& fileUrl,
                            const FileHash& hash, const std::string& signedName, int line,
                            const std::string& consequence);

}  // namespace kestrune::publish
