#include "publish/server_check.h"

#include <cstdint>
#include <optional>
#include <set>
#include <span>
#include <vector>

#include "common/texts.h"
#include "publish/manifest_check.h"
#include "update/download.h"
#include "update/entries.h"

namespace kestrune::publish {

namespace {

// Reports what the launcher would not take from the answer to url, read
// under maxBytes, as a finding about where at line (url's own findings
// name no address in their message); true when it would take the answer
// as the file. consequence is what customers then see.
bool ReportAnswer(CheckReport& report, const std::string& where, int line, const std::string& url,
                  const TransferReport& transfer, std::uint64_t maxBytes,
                  const std::string& consequence) {
  const std::string subject = where != url ? url + ": " : "";
  const auto add = [&](const char* kind, const std::string& message) {
    report.AddAt(Severity::kError, kind, where, line, subject + message);
  };
  if (transfer.end == TransferEnd::NotOpened) {
    add("unreachable",
        "the address cannot be opened (refused, unreachable, a certificate refused or "
        "too many redirects): " +
            consequence);
    return false;
  }
  if (!transfer.redirectedTo.empty()) {
    add("redirect", "the server redirects to " + transfer.redirectedTo +
                        "; the launcher follows it and keeps what that address answers (status " +
                        std::to_string(transfer.status) + ", " + std::to_string(transfer.bytes) +
                        " bytes)");
  }
  const std::string bytes = std::to_string(transfer.bytes);
  switch (transfer.end) {
    case TransferEnd::Whole:
    case TransferEnd::NotOpened:
      break;
    case TransferEnd::ErrorStatus:
      add("http-status",
          "the server answers status " + std::to_string(transfer.status) + ": " + consequence);
      break;
    case TransferEnd::TooLarge:
      add("too-large", "the body is longer than the " + std::to_string(maxBytes) +
                           " bytes the launcher takes (" +
                           (transfer.announced && *transfer.announced > maxBytes
                                ? std::to_string(*transfer.announced) + " bytes announced"
                                : "more arrived") +
                           "), and is refused without reading on: " + consequence);
      break;
    case TransferEnd::TooSlow:
      add("slow-transfer", "the transfer was given up after " + bytes + " bytes, slower than the " +
                               std::to_string(kSlowestBytesPerSecond) +
                               " bytes a second the launcher waits for: " + consequence);
      break;
    case TransferEnd::ShortBody:
    case TransferEnd::BrokenOff:
      // A server that closes a body short of its announced length breaks
      // the transfer on some platforms and ends it on others: the maker
      // needs to hear of the length either way.
      if (transfer.announced && *transfer.announced > transfer.bytes) {
        add("short-body", "the body ends after " + bytes + " of the " +
                              std::to_string(*transfer.announced) +
                              " bytes announced: " + consequence);
      } else {
        add("broken-transfer", "the transfer broke off after " + bytes + " bytes: " + consequence);
      }
      break;
  }
  return transfer.end == TransferEnd::Whole;
}

// The release list a launcher built with key would accept from the
// server, each refusal reported, and whether it vouches for the manifest.
std::optional<ReleaseList> CheckListOnServer(CheckReport& report, const CheckKey& key,
                                             Internet& internet, const std::string& agent,
                                             const std::string& listUrl,
                                             std::string_view manifestBytes) {
  const std::string signatureUrl = listUrl + kSignatureSuffix;
  const SmallFile signature = FetchSmallFile(internet, agent, signatureUrl, kMaxSignatureFileSize);
  ReportSignatureTransfer(report, signatureUrl, signature.transfer);
  const SmallFile list = FetchSmallFile(internet, agent, listUrl, kMaxReleaseListBytes);
  ReportAnswer(report, listUrl, 0, listUrl, list.transfer, kMaxReleaseListBytes, ManifestRefusal());
  if (!signature.body || !list.body) return std::nullopt;
  std::optional<ReleaseList> accepted =
      CheckReleaseList(report, key, *signature.body, *list.body, signatureUrl, listUrl);
  if (accepted) {
    CheckListed(report, *accepted, listUrl, texts::kRemoteManifestName, HashOfBytes(manifestBytes),
                0, ManifestRefusal());
  }
  return accepted;
}

}  // namespace

CheckReport CheckServer(Internet& internet, const std::string& agent,
                        const std::string& updateBaseUrl, const AnsiDecoder& decodeAnsi,
                        const FetchProgress& progress, const std::optional<CheckKey>& key) {
  const std::string manifestUrl = EntryAddress(updateBaseUrl, texts::kRemoteManifestName);
  CheckReport report;
  report.source = manifestUrl;
  const std::unique_ptr<InternetSession> session = internet.OpenSession(agent);
  if (!session) {
    report.Add(Severity::kError, "unreachable", 0, "no internet session can be opened");
    return report;
  }
  // Read as the launcher reads it: refused past its limit, the rest unread.
  const SmallFile manifest = FetchSmallFile(internet, agent, manifestUrl, kMaxManifestBytes);
  if (!ReportAnswer(report, manifestUrl, 0, manifestUrl, manifest.transfer, kMaxManifestBytes,
                    ManifestRefusal())) {
    return report;
  }
  CheckReport checked = CheckManifestText(*manifest.body, manifestUrl, updateBaseUrl, decodeAnsi);
  checked.findings.insert(checked.findings.begin(), report.findings.begin(), report.findings.end());
  report = std::move(checked);

  const std::string listUrl = EntryAddress(updateBaseUrl, texts::kRemoteReleaseListName);
  std::optional<ReleaseList> list;
  if (key) list = CheckListOnServer(report, *key, internet, agent, listUrl, *manifest.body);

  // Each file once, as the launcher fetches a file listed twice once.
  std::vector<EntryView*> toFetch;
  std::set<std::string> seen;
  for (EntryView& entry : report.entries) {
    if (entry.fetched && seen.insert(SameFileKey(entry.name)).second) toFetch.push_back(&entry);
  }
  for (std::size_t i = 0; i < toFetch.size(); ++i) {
    if (progress) progress(i, toFetch.size());
    EntryView& entry = *toFetch[i];
    FileHasher hasher;
    std::unique_ptr<InternetResponse> response = session->OpenUrl(entry.address);
    const TransferReport file =
        ReadResponse(internet, response.get(), kNoSizeLimit,
                     [&](std::span<const std::byte> block) { hasher.Update(block); });
    response.reset();
    if (file.end != TransferEnd::NotOpened) {
      entry.status = file.status;
      entry.bodyBytes = file.bytes;
    }
    if (ReportAnswer(report, manifestUrl, entry.line, entry.address, file, kNoSizeLimit,
                     FileRefusal()) &&
        list) {
      CheckListed(report, *list, listUrl, entry.name, hasher.Finish(), entry.line, FileRefusal());
    }
  }
  if (progress) progress(toFetch.size(), toFetch.size());
  return report;
}

}  // namespace kestrune::publish
