#include "publish/signature_check.h"

#include <array>
#include <cstdio>
#include <fstream>
#include <span>
#include <system_error>
#include <vector>

#include "publish/observed_fetch.h"
#include "publish/utf8_path.h"
#include "update/signed_files.h"

namespace kestrune::publish {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kUntrustedComment = "untrusted comment:";

const char* KindOf(SignatureProblem problem) {
  switch (problem) {
    case SignatureProblem::None:
      break;
    case SignatureProblem::Missing:
      return "signature-missing";
    case SignatureProblem::Malformed:
      return "signature-malformed";
    case SignatureProblem::LegacyAlgorithm:
      return "signature-legacy";
    case SignatureProblem::OtherKey:
      return "signature-other-key";
    case SignatureProblem::NotMatching:
      return "signature-not-matching";
    case SignatureProblem::CommentNotSigned:
      return "signature-comment-not-signed";
    case SignatureProblem::WrongFile:
      return "signature-wrong-name";
    case SignatureProblem::Older:
      return "signature-older";
  }
  return "signature";
}

// What the maker can do about a refusal VerifyMinisign gave.
std::string DetailOf(const CheckKey& key, const SignatureCheck& check,
                     const std::string& signedName) {
  switch (check.problem) {
    case SignatureProblem::Malformed:
      return "not the four lines minisign writes";
    case SignatureProblem::OtherKey:
      return "not with key " + key.view.id + " from " + key.view.from;
    case SignatureProblem::NotMatching:
      return "the file was changed after it was signed";
    case SignatureProblem::CommentNotSigned:
      return "its trusted comment was edited after signing";
    case SignatureProblem::WrongFile:
      return "its trusted comment is " + Quoted(check.trustedComment) +
             ", and the launcher asks for file:" + signedName;
    default:
      return {};
  }
}

void ReportCheck(CheckReport& report, const CheckKey& key, const SignatureCheck& check,
                 const std::string& where, const std::string& signedName, int line,
                 const std::string& consequence) {
  if (check.problem == SignatureProblem::None) return;
  ReportSignatureProblem(report, line, where, check.problem, DetailOf(key, check, signedName),
                         consequence);
}

std::optional<FileHash> HashOfFile(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::nullopt;
  FileHasher hasher;
  std::array<char, 64 * 1024> block;
  while (file.read(block.data(), block.size()) || file.gcount() > 0) {
    hasher.Update(std::as_bytes(std::span<const char>(block.data(),
                                                      static_cast<std::size_t>(file.gcount()))));
  }
  if (file.bad()) return std::nullopt;
  return hasher.Finish();
}

// bytes: the length, when it is known.
std::string TooLong(std::optional<std::uint64_t> bytes) {
  const std::string limit = std::to_string(kMaxSignatureFileSize) + " bytes a signature may have";
  return bytes ? std::to_string(*bytes) + " bytes, more than the " + limit
               : "more than the " + limit;
}

}  // namespace

std::optional<MinisignKey> ParsePublicKeyFile(std::string_view text) {
  if (text.size() > kMaxSignatureFileSize) return std::nullopt;
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const std::size_t lf = text.find('\n');
    std::string_view line = text.substr(0, lf);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    text = lf == std::string_view::npos ? std::string_view() : text.substr(lf + 1);
  }
  while (!lines.empty() && lines.back().empty()) lines.pop_back();
  if (lines.size() != 2 || !lines[0].starts_with(kUntrustedComment)) return std::nullopt;
  return ParseMinisignKey(lines[1]);
}

std::string KeyIdText(const MinisignKey& key) {
  // minisign reads the id as a little-endian number and prints it without
  // leading zeros, as its .pub files' comment line shows it.
  unsigned long long id = 0;
  for (auto byte = key.keyId.rbegin(); byte != key.keyId.rend(); ++byte) id = id << 8 | *byte;
  char digits[17];
  std::snprintf(digits, sizeof digits, "%llX", id);
  return digits;
}

void ReportSignatureProblem(CheckReport& report, int line, const std::string& where,
                            SignatureProblem problem, const std::string& detail,
                            const std::string& consequence) {
  std::string message = where + ": " + DescribeSignatureProblem(problem);
  if (!detail.empty()) message += " (" + detail + ")";
  report.Add(Severity::kError, KindOf(problem), line, message + ": " + consequence);
}

void CheckSignatureInFolder(CheckReport& report, const CheckKey& key, const fs::path& file,
                            const fs::path& signaturePath, const std::string& signedName,
                            int line, const std::string& consequence) {
  const std::string where = Utf8FromPath(signaturePath);
  // The size first: a signature that cannot be one is not read.
  std::error_code error;
  const std::uintmax_t size = fs::file_size(signaturePath, error);
  if (!error && size > kMaxSignatureFileSize) {
    ReportSignatureProblem(report, line, where, SignatureProblem::Malformed, TooLong(size),
                           consequence);
    return;
  }
  // Read up to one byte past the limit, which VerifyMinisign refuses, should
  // the file have grown since.
  std::ifstream in(signaturePath, std::ios::binary);
  std::array<char, kMaxSignatureFileSize + 1> bytes;
  in.read(bytes.data(), bytes.size());
  const std::string signature(bytes.data(), static_cast<std::size_t>(in.gcount()));
  const std::optional<FileHash> hash = HashOfFile(file);
  if (error || !in.is_open() || in.bad() || !hash) {
    report.Add(Severity::kError, "unreadable-file", line,
               where + ": cannot read it or its file to check the signature");
    return;
  }
  ReportCheck(report, key, VerifyMinisign(key.key, signature, *hash, signedName), where,
              signedName, line, consequence);
}

void CheckSignatureOnServer(CheckReport& report, const CheckKey& key, Internet& internet,
                            const std::string& agent, const std::string& fileUrl,
                            const FileHash& hash, const std::string& signedName, int line,
                            const std::string& consequence) {
  const std::string where = fileUrl + kSignatureSuffix;
  const SmallFetch fetched = FetchSmallFileObserved(internet, agent, where, kMaxSignatureFileSize);
  if (fetched.body) {
    ReportCheck(report, key, VerifyMinisign(key.key, *fetched.body, hash, signedName), where,
                signedName, line, consequence);
    return;
  }
  const Transfer& seen = fetched.met;
  if (!seen.opened) {
    ReportSignatureProblem(report, line, where, SignatureProblem::Missing,
                           "the address cannot be opened", consequence);
  } else if (seen.status < 200 || seen.status > 299) {
    ReportSignatureProblem(report, line, where, SignatureProblem::Missing,
                           "the server answers status " + std::to_string(seen.status),
                           consequence);
  } else if (PassedLimit(seen)) {
    ReportSignatureProblem(report, line, where, SignatureProblem::Malformed,
                           TooLong(seen.announced),
                           consequence);
  } else {
    ReportSignatureProblem(report, line, where, SignatureProblem::Missing,
                           "the transfer was cut off after " + std::to_string(seen.bytes) +
                               " bytes",
                           consequence);
  }
}

}  // namespace kestrune::publish
