#include "update/startup.h"

#include <set>

#include "common/texts.h"
#include "update/download.h"
#include "update/entries.h"
#include "update/entry_name.h"
#include "update/manifest.h"
#include "update/signed_release.h"

namespace kestrune {

namespace {

void ReportProblem(Desktop& desktop, LauncherState& state, StartupState code) {
  state.startupState = code;
  ShowStateMessage(desktop, state.startupState);
}

// Brings in every missing file, asking once. Entries whose names would
// reach outside the working directory are refused like a failed download.
void BringInMissingFiles(Platform& platform, const std::string& agent,
                         const SignedRelease& release, const Manifest& manifest,
                         LauncherState& state) {
  bool downloadAllowed = false;
  for (std::size_t i = 0; i < state.localPaths.size(); ++i) {
    if (!IsSafeEntryName(manifest.records[i].fileName)) {
      ReportProblem(platform.desktop, state, StartupState::DownloadFailed);
      continue;
    }
    // Only presence counts: an existing file is never replaced.
    if (platform.files.FileExists(state.localPaths[i])) continue;
    if (!downloadAllowed) downloadAllowed = platform.desktop.Confirm(texts::kDownloadQuestion);
    if (!downloadAllowed) {
      ReportProblem(platform.desktop, state, StartupState::DownloadRefused);
      state.endRequested = true;
      return;
    }
    // With the maker's key, a file the signed list does not name is not
    // even asked for.
    const std::optional<DownloadCheck> check = release.ForEntry(manifest.records[i].fileName);
    if (!check || !DownloadToFile(platform.internet, platform.files, agent, state.remoteUrls[i],
                                  state.localPaths[i], *check)) {
      ReportProblem(platform.desktop, state, StartupState::DownloadFailed);
    }
  }
}

// Entries in folders of the working directory download beside themselves:
// what a killed launcher left there goes too.
void RemoveAbandonedDownloadsBesideEntries(FileSystem& files, const Manifest& manifest,
                                           const LauncherState& state) {
  std::set<std::string> folders;
  for (std::size_t i = 0; i < state.localPaths.size(); ++i) {
    if (!IsSafeEntryName(manifest.records[i].fileName)) continue;
    const std::string& path = state.localPaths[i];
    const std::size_t separator = path.find_last_of(files.PathSeparator());
    if (separator == std::string::npos || separator <= state.workDir.size()) continue;
    folders.insert(path.substr(0, separator));
  }
  for (const std::string& folder : folders) RemoveAbandonedDownloads(files, folder);
}

}  // namespace

std::string StateMessage(StartupState startupState) {
  switch (startupState) {
    case StartupState::ManifestFailed:
      return texts::kManifestProblem;
    case StartupState::DownloadFailed:
      return texts::kUpdateProblem;
    case StartupState::DownloadRefused:
      return texts::kRefusedProblem;
    case StartupState::Ok:
      break;
  }
  return {};
}

void ShowStateMessage(Desktop& desktop, StartupState startupState) {
  const std::string message = StateMessage(startupState);
  if (!message.empty()) desktop.ShowInformation(message);
}

void RunStartupUpdate(Platform& platform, const Addresses& addresses, LauncherState& state,
                      StartupTarget& target) {
  state.startupState = StartupState::Ok;
  state.endRequested = false;
  state.workDir = platform.files.CurrentDirectory();
  // Every request of this start goes out under the same agent name.
  const std::string agent = AgentName(platform.system.OwnExecutablePath());
  const char separator = platform.files.PathSeparator();
  const std::string manifestPath = JoinPath(state.workDir, separator, texts::kLocalManifestName);
  RemoveAbandonedDownloads(platform.files, state.workDir);

  // With the maker's key, the manifest is kept only when the release list
  // the maker signed vouches for it; that list is kept beside it, so the
  // next start takes no older one.
  SignedRelease release(addresses.minisignPublicKey);
  const std::string listPath = JoinPath(state.workDir, separator, texts::kLocalReleaseListName);
  const std::string listSignaturePath = listPath + kSignatureSuffix;
  std::optional<std::string> keptSignature;
  if (release.Required() && platform.files.FileExists(listSignaturePath)) {
    keptSignature = platform.files.ReadWholeFile(listSignaturePath);
  }
  const std::string manifestUrl = addresses.updateBaseUrl + texts::kRemoteManifestName;
  const DownloadCheck manifestCheck = release.ForManifest(
      platform.internet, agent, addresses.updateBaseUrl, std::move(keptSignature));

  // A failed fetch, a manifest past its size limit or one the list does not
  // vouch for leaves the previous local copy (and the kept list) as they
  // were.
  if (!DownloadToFile(platform.internet, platform.files, agent, manifestUrl, manifestPath,
                      manifestCheck, kMaxManifestBytes)) {
    ReportProblem(platform.desktop, state, StartupState::ManifestFailed);
  } else {
    if (release.Required()) {
      // The list before its signature: a start cut off between the two
      // keeps the older timestamp, which only lets through what it would.
      WriteFileReplacing(platform.files, listPath, release.AcceptedListBytes());
      WriteFileReplacing(platform.files, listSignaturePath, release.AcceptedListSignature());
    }
    platform.system.Sleep(kManifestReadPauseMs);
    const Manifest manifest =
        ReadManifest(platform.files.ReadWholeFile(manifestPath),
                     [&platform](std::string_view ansi) { return platform.system.AnsiToUtf8(ansi); });
    if (manifest.title) target.ApplyTitle(*manifest.title);
    FillEntries(manifest, addresses.updateBaseUrl, separator, state);
    RemoveAbandonedDownloadsBesideEntries(platform.files, manifest, state);
    BringInMissingFiles(platform, agent, release, manifest, state);
    target.DisplayButtons();
  }

  if (state.startupState != StartupState::Ok) state.endRequested = true;
}

}  // namespace kestrune
