#include "update/startup.h"

#include <set>

#include "common/texts.h"
#include "update/download.h"
#include "update/download_progress.h"
#include "update/entries.h"
#include "update/entry_name.h"
#include "update/manifest.h"
#include "update/signed_release.h"
#include "update/verified_files.h"

namespace kestrune {

namespace {

void ReportProblem(Desktop& desktop, LauncherState& state, StartupState code) {
  state.startupState = code;
  ShowStateMessage(desktop, state.startupState);
}

// With the maker's option, files that are there are brought in again when
// they hold other bytes than the signed list names; record says what each
// file held when this launcher last saw it. Without it, nothing.
struct Replacing {
  VerifiedFiles* record = nullptr;
};

// A file put in place by a download: the record (when replacing) learns
// its bytes, which the signed list vouched for.
void Recorded(const Replacing& replacing, const SignedRelease& release, const std::string& name) {
  if (!replacing.record) return;
  const ListedFile* listed = release.AcceptedList()->Find(name);
  replacing.record->Wrote(listed->name, listed->hash);
}

// Brings in every missing (or, replacing, outdated) file, asking once.
// Entries whose names would reach outside the working directory are refused
// like a failed download. With the maker's progress option (progressTitle),
// a window shows the downloads from the Yes on and closes before any box;
// its Cancel is the answer No.
void BringInMissingFiles(Platform& platform, Internet& startInternet, const std::string& agent,
                         const SignedRelease& release, const Replacing& replacing,
                         const Manifest& manifest, const std::optional<std::string>& progressTitle,
                         LauncherState& state) {
  // Otherwise only presence counts: a file that is there is never replaced.
  const auto current = [&](std::size_t i, bool present) {
    return present && !(replacing.record &&
                        IsOutdated(platform.files, *release.AcceptedList(), *replacing.record,
                                   manifest.records[i].fileName, state.localPaths[i]));
  };
  // The files from entry first on that will be asked for, each once.
  const auto countFetches = [&](std::size_t first) {
    std::set<std::string> paths;
    for (std::size_t i = first; i < state.localPaths.size(); ++i) {
      const std::string& name = manifest.records[i].fileName;
      if (IsSafeEntryName(name) && release.ForEntry(name) &&
          !current(i, platform.files.FileExists(state.localPaths[i]))) {
        paths.insert(state.localPaths[i]);
      }
    }
    return paths.size();
  };
  std::optional<DownloadProgress> progress;
  const auto report = [&](StartupState code) {
    if (progress) progress->Close();
    ReportProblem(platform.desktop, state, code);
  };

  bool downloadAllowed = false;
  for (std::size_t i = 0; i < state.localPaths.size(); ++i) {
    const std::string& name = manifest.records[i].fileName;
    const std::string& path = state.localPaths[i];
    if (!IsSafeEntryName(name)) {
      report(StartupState::DownloadFailed);
      continue;
    }
    const bool present = platform.files.FileExists(path);
    if (current(i, present)) continue;
    if (!downloadAllowed) {
      downloadAllowed = platform.desktop.Confirm(texts::kDownloadQuestion);
      if (downloadAllowed && progressTitle && platform.progress) {
        progress.emplace(*platform.progress, startInternet, *progressTitle, countFetches(i));
      }
    }
    if (!downloadAllowed) {
      ReportProblem(platform.desktop, state, StartupState::DownloadRefused);
      state.endRequested = true;
      return;
    }
    // With the maker's key, a file the signed list does not name is not
    // even asked for.
    const std::optional<DownloadCheck> check = release.ForEntry(name);
    Internet& internet = progress ? progress->Watched() : startInternet;
    if (check && progress) progress->Begin(state.buttonCaptions[i]);
    bool kept = false;
    // Whatever may come to stand under this name, the record no longer
    // vouches for what it held.
    if (check && replacing.record) replacing.record->Forget(name);
    if (check && present) {
      // A file a running program holds stays as it is, with no box: it is
      // replaced at a later start.
      const Replacement replaced =
          ReplaceByDownload(internet, platform.files, agent, state.remoteUrls[i], path, *check);
      if (replaced == Replacement::Held) continue;
      kept = replaced == Replacement::Replaced;
    } else if (check) {
      kept = DownloadToFile(internet, platform.files, agent, state.remoteUrls[i], path, *check);
    }
    if (kept) {
      Recorded(replacing, release, name);
    } else if (progress && progress->Cancelled()) {
      // The customer's Cancel: what was fetched before stays, no further
      // question, and the program ends as after a No.
      report(StartupState::DownloadRefused);
      state.endRequested = true;
      return;
    } else {
      report(StartupState::DownloadFailed);
    }
  }
}

// updater1.b2sums and updater1.b2sums.minisig: the list this launcher
// accepted last and its signature, written as soon as a list is accepted,
// whatever becomes of the files. The signature's date is the floor no
// later list may go below, so a start cut short (an answer No, a failed
// download) still never lets an older release back in. The list before
// its signature: a start cut off between the two keeps the older date.
void KeepList(FileSystem& files, const SignedRelease& release, const std::string& listPath) {
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
  SignedRelease release(addresses.minisignPublicKey, addresses.minimumReleaseTimestamp);
  const std::string listPath = JoinPath(state.workDir, separator, texts::kLocalReleaseListName);
  const std::string listSignaturePath = listPath + kSignatureSuffix;
  // One that cannot be read sets no floor: the build's minimum still holds.
  std::optional<std::string> keptSignature;
  if (release.Required() && platform.files.FileExists(listSignaturePath)) {
    try {
      keptSignature = platform.files.ReadWholeFile(listSignaturePath);
    } catch (const IoError&) {
    }
  }
  const bool replaceChanged = release.Required() && addresses.replaceChangedFiles;
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
    if (release.Required()) KeepList(platform.files, release, listPath);
    platform.system.Sleep(kManifestReadPauseMs);
    const Manifest manifest = ReadManifest(
        platform.files.ReadWholeFile(manifestPath),
        [&platform](std::string_view ansi) { return platform.system.AnsiToUtf8(ansi); });
    if (manifest.title) target.ApplyTitle(*manifest.title);
    FillEntries(manifest, addresses.updateBaseUrl, separator, state);
    RemoveAbandonedDownloadsBesideEntries(platform.files, manifest, state);
    std::optional<VerifiedFiles> record;
    if (replaceChanged) {
      record.emplace(platform.files,
                     JoinPath(state.workDir, separator, texts::kLocalVerifiedFilesName));
    }
    std::optional<std::string> progressTitle;
    if (addresses.showProgress) {
      progressTitle = manifest.title.value_or(std::string(texts::kInitialCaption));
    }
    BringInMissingFiles(platform, internet, agent, release, Replacing{record ? &*record : nullptr},
                        manifest, progressTitle, state);
    if (record) record->Save();
    target.DisplayButtons();
  }

  if (state.startupState != StartupState::Ok) state.endRequested = true;
}

}  // namespace kestrune
