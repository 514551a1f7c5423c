#include "publish/server_check.h"

#include <array>
#include <cstdint>
#include <optional>
#include <set>
#include <vector>

#include "common/texts.h"
#include "publish/manifest_check.h"
#include "update/entries.h"
#include "update/signed_files.h"

namespace kestrune::publish {

namespace {

struct Fetched {
  bool opened = false;
  int status = 0;
  std::optional<std::uint64_t> announced;
  std::uint64_t bytes = 0;
  bool broken = false;  // the body ended in a failed read
  std::string redirectedTo;
  std::string body;  // only when asked for
  std::optional<FileHash> hash;  // only when asked for
};

Fetched Fetch(InternetSession& session, const std::string& url, bool keepBody, bool hashBody) {
  Fetched fetched;
  const std::unique_ptr<InternetResponse> response = session.OpenUrl(url);
  if (!response) return fetched;
  fetched.opened = true;
  fetched.status = response->StatusCode();
  fetched.announced = response->ContentLength();
  fetched.redirectedTo = response->RedirectedTo();
  std::optional<FileHasher> hasher;
  if (hashBody) hasher.emplace();
  std::array<std::byte, 64 * 1024> buffer;
  for (;;) {
    const ReadResult read = response->Read(buffer);
    if (!read.ok) {
      fetched.broken = true;
      break;
    }
    if (read.bytes == 0) break;
    fetched.bytes += read.bytes;
    if (hasher) hasher->Update(std::span(buffer.data(), read.bytes));
    if (keepBody) fetched.body.append(reinterpret_cast<const char*>(buffer.data()), read.bytes);
  }
  if (hasher) fetched.hash = hasher->Finish();
  return fetched;
}

// Reports what the launcher would not take from the answer to url, at
// line (0 for the manifest itself); true when it would take it as the
// file. consequence is what customers then see.
bool ReportAnswer(CheckReport& report, const std::string& url, int line, const Fetched& fetched,
                  const std::string& consequence) {
  const std::string subject = line > 0 ? url + ": " : "";
  const auto add = [&](const char* kind, const std::string& message) {
    report.Add(Severity::kError, kind, line, subject + message);
  };
  if (!fetched.opened) {
    add("unreachable",
        "the address cannot be opened (refused, unreachable, a certificate refused or "
        "too many redirects): " +
            consequence);
    return false;
  }
  if (!fetched.redirectedTo.empty()) {
    add("redirect", "the server redirects to " + fetched.redirectedTo +
                        "; the launcher follows it and keeps what that address answers (status " +
                        std::to_string(fetched.status) + ", " + std::to_string(fetched.bytes) +
                        " bytes)");
  }
  if (fetched.status < 200 || fetched.status > 299) {
    add("http-status", "the server answers status " + std::to_string(fetched.status) +
                           " with an error page of " + std::to_string(fetched.bytes) +
                           " bytes: " + consequence);
    return false;
  }
  if (fetched.announced && fetched.bytes != *fetched.announced) {
    add("short-body", "the body ends after " + std::to_string(fetched.bytes) + " of the " +
                          std::to_string(*fetched.announced) + " bytes announced: " + consequence);
    return false;
  } else if (fetched.broken) {
    add("broken-transfer",
        "the transfer broke off after " + std::to_string(fetched.bytes) + " bytes: " + consequence);
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
  const Fetched manifest = Fetch(*session, manifestUrl, true, signedRelease);
  const std::string manifestFailed =
      std::string("customers get \"") + texts::kManifestProblem + "\"";
  if (!ReportAnswer(report, manifestUrl, 0, manifest, manifestFailed)) return report;
  if (signedRelease) {
    CheckSignatureOnServer(report, *key, internet, agent, manifestUrl, *manifest.hash,
                           texts::kRemoteManifestName, 0, manifestFailed);
  }

  CheckReport checked = CheckManifestText(manifest.body, manifestUrl, updateBaseUrl, decodeAnsi);
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
    const Fetched file = Fetch(*session, entry.address, false, signedRelease);
    if (file.opened) {
      entry.status = file.status;
      entry.bodyBytes = file.bytes;
    }
    if (ReportAnswer(report, entry.address, entry.line, file, fileFailed) && signedRelease) {
      CheckSignatureOnServer(report, *key, internet, agent, entry.address, *file.hash,
                             SignedFileName(entry.name), entry.line, fileFailed);
    }
  }
  if (progress) progress(toFetch.size(), toFetch.size());
  return report;
}

}  // namespace kestrune::publish
