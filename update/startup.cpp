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

// With the maker's option, files that are there are brought in again when
// the signed list changed their line; kept is the list of the last start
// that brought every file up to date.
struct Replacing {
  bool changedFiles = false;
  const ReleaseList* kept = nullptr;
};

// Brings in every missing (or, replacing, outdated) file, asking once.
// Entries whose names would reach outside the working directory are refused
// like a failed download. True when every entry ended up current.
bool BringInMissingFiles(Platform& platform, Internet& internet, const std::string& agent,
                         const SignedRelease& release,
                         const Replacing& replacing, const Manifest& manifest,
                         LauncherState& state) {
  bool downloadAllowed = false;
  bool allCurrent = true;
  for (std::size_t i = 0; i < state.localPaths.size(); ++i) {
    const std::string& name = manifest.records[i].fileName;
    const std::string& path = state.localPaths[i];
    if (!IsSafeEntryName(name)) {
      ReportProblem(platform.desktop, state, StartupState::DownloadFailed);
      allCurrent = false;
      continue;
    }
    // Otherwise only presence counts: a file that is there is never replaced.
    const bool present = platform.files.FileExists(path);
    if (present && !(replacing.changedFiles && IsOutdated(platform.files, *release.AcceptedList(),
                                                          replacing.kept, name, path))) {
      continue;
    }
    if (!downloadAllowed) downloadAllowed = platform.desktop.Confirm(texts::kDownloadQuestion);
    if (!downloadAllowed) {
      ReportProblem(platform.desktop, state, StartupState::DownloadRefused);
      state.endRequested = true;
      return false;
    }
    // With the maker's key, a file the signed list does not name is not
    // even asked for.
    const std::optional<DownloadCheck> check = release.ForEntry(name);
    bool kept = false;
    if (check && present) {
      // A file a running program holds stays as it is, with no box: it is
      // replaced at a later start.
      const Replacement replaced = ReplaceByDownload(internet, platform.files, agent,
                                                     state.remoteUrls[i], path, *check);
      if (replaced == Replacement::Held) {
        allCurrent = false;
        continue;
      }
      kept = replaced == Replacement::Replaced;
    } else if (check) {
      kept = DownloadToFile(internet, platform.files, agent, state.remoteUrls[i], path,
                            *check);
    }
    if (!kept) {
      ReportProblem(platform.desktop, state, StartupState::DownloadFailed);
      allCurrent = false;
    }
  }
  return allCurrent;
}

void KeepList(FileSystem& files, const SignedRelease& release, const std::string& listPath) {
  // The list before its signature: a start cut off between the two keeps
  // the older timestamp, which only lets through what it would.
  WriteFileReplacing(files, listPath, release.AcceptedListBytes());
  WriteFileReplacing(files, listPath + kSignatureSuffix, release.AcceptedListSignature());
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
  // Every request of this start goes out under the same agent name, one
  // after another through one session.
  const std::string agent = AgentName(platform.system.OwnExecutablePath());
  OneSessionInternet internet(platform.internet);
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
  // Replacing changed files, the kept list says what the files are: it is
  // kept only once every file is brought up to date, so a file left old
  // (an answer No, a failure, a program holding it) is tried again.
  const bool replaceChanged = release.Required() && addresses.replaceChangedFiles;
  std::optional<ReleaseList> keptList;
  if (replaceChanged && platform.files.FileExists(listPath)) {
    keptList = ParseReleaseList(platform.files.ReadWholeFile(listPath)).list;
  }
  const std::string manifestUrl = addresses.updateBaseUrl + texts::kRemoteManifestName;
  const DownloadCheck manifestCheck = release.ForManifest(
      internet, agent, addresses.updateBaseUrl, std::move(keptSignature));

  // A failed fetch, a manifest past its size limit or one the list does not
  // vouch for leaves the previous local copy (and the kept list) as they
  // were.
  if (!DownloadToFile(internet, platform.files, agent, manifestUrl, manifestPath,
                      manifestCheck, kMaxManifestBytes)) {
    ReportProblem(platform.desktop, state, StartupState::ManifestFailed);
  } else {
    if (release.Required() && !replaceChanged) KeepList(platform.files, release, listPath);
    platform.system.Sleep(kManifestReadPauseMs);
    const Manifest manifest = ReadManifest(
        platform.files.ReadWholeFile(manifestPath),
        [&platform](std::string_view ansi) { return platform.system.AnsiToUtf8(ansi); });
    if (manifest.title) target.ApplyTitle(*manifest.title);
    FillEntries(manifest, addresses.updateBaseUrl, separator, state);
    RemoveAbandonedDownloadsBesideEntries(platform.files, manifest, state);
    const Replacing replacing{replaceChanged, keptList ? &*keptList : nullptr};
    if (BringInMissingFiles(platform, internet, agent, release, replacing, manifest, state) &&
        replaceChanged) {
      KeepList(platform.files, release, listPath);
    }
    target.DisplayButtons();
  }

  if (state.startupState != StartupState::Ok) state.endRequested = true;
}

}  // namespace kestrune
