#include "publish/server_check.h"

#include <array>
#include <cstdint>
#include <optional>
#include <set>
#include <span>
#include <vector>

#include "common/texts.h"
#include "publish/manifest_check.h"
#include "publish/observed_fetch.h"
#include "update/entries.h"
#include "update/signed_files.h"

namespace kestrune::publish {

namespace {

// A listed file, read and dropped as it arrives; its hash when asked for.
struct Fetched {
  Transfer met;
  std::optional<FileHash> hash;
};

Fetched Fetch(InternetSession& session, const std::string& url, bool hashBody) {
  Fetched fetched;
  Transfer& met = fetched.met;
  const std::unique_ptr<InternetResponse> response = session.OpenUrl(url);
  if (!response) return fetched;
  met.opened = true;
  met.status = response->StatusCode();
  met.announced = response->ContentLength();
  met.redirectedTo = response->RedirectedTo();
  std::optional<FileHasher> hasher;
  if (hashBody) hasher.emplace();
  std::array<std::byte, 64 * 1024> buffer;
  for (;;) {
    const ReadResult read = response->Read(buffer);
    if (!read.ok) {
      met.broken = true;
      break;
    }
    if (read.bytes == 0) {
      met.ended = true;
      break;
    }
    met.bytes += read.bytes;
    if (hasher) hasher->Update(std::span(buffer.data(), read.bytes));
  }
  if (hasher) fetched.hash = hasher->Finish();
  return fetched;
}

// Reports what the launcher would not take from the answer to url, at
// line (0 for the manifest itself); true when it would take it as the
// file. consequence is what customers then see.
bool ReportAnswer(CheckReport& report, const std::string& url, int line, const Transfer& met,
                  const std::string& consequence) {
  const std::string subject = line > 0 ? url + ": " : "";
  const auto add = [&](const char* kind, const std::string& message) {
    report.Add(Severity::kError, kind, line, subject + message);
  };
  if (!met.opened) {
    add("unreachable",
        "the address cannot be opened (refused, unreachable, a certificate refused or "
        "too many redirects): " +
            consequence);
    return false;
  }
  if (!met.redirectedTo.empty()) {
    add("redirect", "the server redirects to " + met.redirectedTo +
                        "; the launcher follows it and keeps what that address answers (status " +
                        std::to_string(met.status) + ", " + std::to_string(met.bytes) +
                        " bytes)");
  }
  if (met.status < 200 || met.status > 299) {
    // The manifest's reader reads no error page, so its length is unknown.
    add("http-status", "the server answers status " + std::to_string(met.status) +
                           (met.bytes > 0 ? " with an error page of " +
                                                std::to_string(met.bytes) + " bytes"
                                          : std::string()) +
                           ": " + consequence);
    return false;
  }
  if (PassedLimit(met)) {
    add("too-large", "the body is longer than the " + std::to_string(*met.limit) +
                         " bytes the launcher takes (" +
                         (met.announced ? std::to_string(*met.announced) + " bytes announced"
                                        : "more arrived") +
                         "), and is refused without reading on: " + consequence);
    return false;
  }
  if (!met.ended && !met.broken) {
    // The launcher's reader let go of a transfer that neither ended nor
    // broke: it fell below the slowest pace the launcher waits for.
    add("slow-transfer", "the transfer was given up after " + std::to_string(met.bytes) +
                             " bytes, slower than the " +
                             std::to_string(kSlowestBytesPerSecond) +
                             " bytes a second the launcher waits for: " + consequence);
    return false;
  }
  if (met.announced && met.bytes != *met.announced) {
    add("short-body", "the body ends after " + std::to_string(met.bytes) + " of the " +
                          std::to_string(*met.announced) + " bytes announced: " + consequence);
    return false;
  } else if (met.broken) {
    add("broken-transfer",
        "the transfer broke off after " + std::to_string(met.bytes) + " bytes: " + consequence);
    return false;
  }
  return true;
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
  const bool signedRelease = key.has_value();
  // Read as the launcher reads it: refused past its limit, the rest unread.
  const SmallFetch manifest =
      FetchSmallFileObserved(internet, agent, manifestUrl, kMaxManifestBytes);
  const std::string manifestFailed =
      std::string("customers get \"") + texts::kManifestProblem + "\"";
  if (!ReportAnswer(report, manifestUrl, 0, manifest.met, manifestFailed)) return report;
  if (!manifest.body) {
    // Whatever else made the launcher's reader let go, no check may pass.
    report.Add(Severity::kError, "broken-transfer", 0,
               "the launcher's reader did not take the body: " + manifestFailed);
    return report;
  }
  if (signedRelease) {
    FileHasher hasher;
    hasher.Update(std::as_bytes(std::span(manifest.body->data(), manifest.body->size())));
    CheckSignatureOnServer(report, *key, internet, agent, manifestUrl, hasher.Finish(),
                           texts::kRemoteManifestName, 0, manifestFailed);
  }

  CheckReport checked = CheckManifestText(*manifest.body, manifestUrl, updateBaseUrl, decodeAnsi);
  checked.findings.insert(checked.findings.begin(), report.findings.begin(), report.findings.end());
  report = std::move(checked);

  // Each file once, as the launcher fetches a file listed twice once.
  std::vector<EntryView*> toFetch;
  std::set<std::string> seen;
  for (EntryView& entry : report.entries) {
    if (entry.fetched && seen.insert(SameFileKey(entry.name)).second) toFetch.push_back(&entry);
  }
  const std::string fileFailed =
      std::string("customers who lack the file get \"") + texts::kUpdateProblem + "\"";
  for (std::size_t i = 0; i < toFetch.size(); ++i) {
    if (progress) progress(i, toFetch.size());
    EntryView& entry = *toFetch[i];
    const Fetched file = Fetch(*session, entry.address, signedRelease);
    if (file.met.opened) {
      entry.status = file.met.status;
      entry.bodyBytes = file.met.bytes;
    }
    if (ReportAnswer(report, entry.address, entry.line, file.met, fileFailed) && signedRelease) {
      CheckSignatureOnServer(report, *key, internet, agent, entry.address, *file.hash,
                             SignedFileName(entry.name), entry.line, fileFailed);
    }
  }
  if (progress) progress(toFetch.size(), toFetch.size());
  return report;
}

}  // namespace kestrune::publish
