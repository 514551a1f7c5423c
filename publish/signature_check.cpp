#include "publish/signature_check.h"

#include <array>
#include <cstdio>
#include <fstream>
#include <span>

#include "common/texts.h"
#include "update/signed_release.h"

namespace kestrune::publish {

namespace {

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
    case SignatureProblem::Undated:
      return "signature-undated";
    case SignatureProblem::Older:
      return "signature-older";
  }
  return "signature";
}

// What the maker can do about a refusal VerifyReleaseList gave.
std::string DetailOf(const CheckKey& key, const SignatureCheck& check) {
  const std::string comment = "its trusted comment is " + Quoted(check.trustedComment);
  switch (check.problem) {
    case SignatureProblem::Malformed:
      return "not the four lines minisign writes";
    case SignatureProblem::OtherKey: {
      std::string keys;
      for (const SignatureKeyView& view : key.views) {
        keys += (keys.empty() ? "" : ", nor with key ") + view.id + " from " + view.from;
      }
      return "not with key " + keys;
    }
    case SignatureProblem::NotMatching:
      return std::string(texts::kRemoteReleaseListName) + " was changed after it was signed";
    case SignatureProblem::CommentNotSigned:
      return "its trusted comment was edited after signing";
    case SignatureProblem::WrongFile:
      return comment + ", and the launcher asks for file:" + texts::kRemoteReleaseListName;
    case SignatureProblem::Undated:
      return comment + "; minisign -Sm dates the signature";
    default:
      return {};
  }
}

}  // namespace

std::string KeyIdText(const MinisignKey& key) {
  // minisign reads the id as a little-endian number and prints it without
  // leading zeros, as its .pub files' comment line shows it.
  unsigned long long id = 0;
  for (auto byte = key.keyId.rbegin(); byte != key.keyId.rend(); ++byte) id = id << 8 | *byte;
  char digits[17];
  std::snprintf(digits, sizeof digits, "%llX", id);
  return digits;
}

void ReportSignatureProblem(CheckReport& report, const std::string& signatureWhere,
                            SignatureProblem problem, const std::string& detail) {
  std::string message = DescribeSignatureProblem(problem);
  if (!detail.empty()) message += " (" + detail + ")";
  report.AddAt(Severity::kError, KindOf(problem), signatureWhere, 0,
               message + ": " + ManifestRefusal());
}

std::string SignatureTooLong(std::optional<std::uint64_t> size) {
  const std::string limit = std::to_string(kMaxSignatureFileSize) + " bytes a signature may have";
  return size ? std::to_string(*size) + " bytes, more than the " + limit : "more than the " + limit;
}

void ReportSignatureTransfer(CheckReport& report, const std::string& signatureUrl,
                             const TransferReport& transfer) {
  switch (transfer.end) {
    case TransferEnd::Whole:
      return;
    case TransferEnd::NotOpened:
      ReportSignatureProblem(report, signatureUrl, SignatureProblem::Missing,
                             "the address cannot be opened");
      return;
    case TransferEnd::ErrorStatus:
      ReportSignatureProblem(report, signatureUrl, SignatureProblem::Missing,
                             "the server answers status " + std::to_string(transfer.status));
      return;
    case TransferEnd::TooLarge:
      ReportSignatureProblem(report, signatureUrl, SignatureProblem::Malformed,
                             SignatureTooLong(transfer.announced));
      return;
    case TransferEnd::TooSlow:
    case TransferEnd::ShortBody:
    case TransferEnd::BrokenOff:
      ReportSignatureProblem(
          report, signatureUrl, SignatureProblem::Missing,
          "the transfer was cut off after " + std::to_string(transfer.bytes) + " bytes");
      return;
  }
}

std::optional<ReleaseList> CheckReleaseList(CheckReport& report, const CheckKey& key,
                                            std::string_view signatureFile,
                                            std::string_view listBytes,
                                            const std::string& signatureWhere,
                                            const std::string& listWhere) {
  ReleaseListCheck check = VerifyReleaseList(key.keys, signatureFile, listBytes, 0);
  if (check.signature.problem == SignatureProblem::None) {
    report.releaseTimestamp = check.signature.timestamp;
    report.signedBy = key.views[*check.signature.keyIndex].id;
  } else {
    ReportSignatureProblem(report, signatureWhere, check.signature.problem,
                           DetailOf(key, check.signature));
    return std::nullopt;
  }
  if (!check.parsed.list) {
    report.AddAt(Severity::kError, "list-malformed", listWhere, check.parsed.badLine,
                 "not a line b2sum writes (" + check.parsed.problem +
                     "), and one such line refuses the whole list: " + ManifestRefusal());
  }
  return std::move(check.parsed.list);
}

void CheckListed(CheckReport& report, const ReleaseList& list, const std::string& listWhere,
                 const std::string& name, const FileHash& hash, int line,
                 const std::string& consequence) {
  if (ListVouchesFor(list, name, hash)) return;
  const ListedFile* listed = list.Find(name);
  if (!listed) {
    report.Add(Severity::kError, "not-in-list", line,
               Quoted(name) + " is not in " + listWhere + ": " + consequence);
    return;
  }
  report.Add(Severity::kError, "not-matching-list", line,
             Quoted(name) + " does not match line " + std::to_string(listed->line) + " of " +
                 listWhere + " (changed since the list was made): " + consequence);
}

std::optional<FileHash> HashOfFile(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::nullopt;
  FileHasher hasher;
  std::array<char, 64 * 1024> block;
  while (file.read(block.data(), block.size()) || file.gcount() > 0) {
    hasher.Update(std::as_bytes(
        std::span<const char>(block.data(), static_cast<std::size_t>(file.gcount()))));
  }
  if (file.bad()) return std::nullopt;
  return hasher.Finish();
}

}  // namespace kestrune::publish
