#include "publish/run_publish.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <system_error>

#include "app/version.h"
#include "common/addresses.h"
#include "common/texts.h"
#include "publish/check_report.h"
#include "publish/command_line.h"
#include "publish/folder_check.h"
#include "publish/manifest_check.h"
#include "publish/manifest_writer.h"
#include "publish/server_check.h"
#include "publish/signature_check.h"
#include "publish/utf8_path.h"
#include "update/download.h"
#include "update/minisign.h"

namespace kestrune::publish {

namespace {

constexpr int kAllWell = 0;
constexpr int kProblemFound = 1;
constexpr int kWrongUsage = 2;

constexpr char kProgramName[] = "kestrune-publish";

AnsiDecoder DecoderOf(System& system) {
  return [&system](std::string_view ansi) { return system.AnsiToUtf8(ansi); };
}

int Fail(PublishServices& services, const std::string& message) {
  services.err << kProgramName << ": " << Printed(message) << "\n";
  return kProblemFound;
}

int RunNew(const CommandLine& command, PublishServices& services) {
  const std::string source =
      command.outputFile.empty() ? texts::kRemoteManifestName : command.outputFile;
  const WrittenManifest written =
      WriteManifest(command.title, command.records, source, CompiledAddresses().updateBaseUrl,
                    DecoderOf(services.system));
  PrintFindings(written.report, services.err);
  if (!written.report.Passed()) {
    services.err << kProgramName << ": nothing written\n";
    return kProblemFound;
  }
  if (command.outputFile.empty()) {
    services.out.write(written.bytes.data(), static_cast<std::streamsize>(written.bytes.size()));
    services.out.flush();
    return services.out ? kAllWell : Fail(services, "cannot write to standard output");
  }
  std::ofstream file(PathFromUtf8(command.outputFile), std::ios::binary | std::ios::trunc);
  file.write(written.bytes.data(), static_cast<std::streamsize>(written.bytes.size()));
  file.close();
  if (!file) {
    std::error_code ignored;
    std::filesystem::remove(PathFromUtf8(command.outputFile), ignored);
    return Fail(services, "cannot write " + command.outputFile);
  }
  return kAllWell;
}

// The keys signatures are checked with: the --key files', else the build's;
// nothing when there are neither. A key that cannot be read is wrong usage,
// told in error.
struct ChosenKey {
  std::optional<CheckKey> key;
  std::string error;
};

// The key in a .pub file, or why not.
std::optional<MinisignKey> ReadKeyFile(const std::string& keyFile, std::string& error) {
  // Read one byte past what a key file may hold, so that a larger file is
  // refused without reading it all.
  std::ifstream file(PathFromUtf8(keyFile), std::ios::binary);
  if (!file) {
    error = "--key: cannot read " + keyFile;
    return std::nullopt;
  }
  std::array<char, kMaxSignatureFileSize + 1> bytes;
  file.read(bytes.data(), bytes.size());
  const std::optional<MinisignKey> key = ParseMinisignKeyFile(
      std::string_view(bytes.data(), static_cast<std::size_t>(file.gcount())));
  if (!key) {
    error = "--key: " + keyFile +
            " is not a minisign public key (the .pub file minisign -G writes: an "
            "\"untrusted comment:\" line, then the key starting with RW)";
  }
  return key;
}

ChosenKey ChooseKey(const CommandLine& command) {
  ChosenKey chosen;
  CheckKey keys;
  if (command.keyFiles.empty()) {
    const std::string built = CompiledAddresses().minisignPublicKey;
    if (built.empty()) return chosen;
    const std::optional<std::vector<MinisignKey>> parsed = ParseMinisignKeys(built);
    if (!parsed) {
      chosen.error = "the keys this tool was built with (KESTRUNE_MINISIGN_PUBLIC_KEY) are not "
                     "minisign public keys; give one with --key FILE.pub";
      return chosen;
    }
    for (const MinisignKey& key : *parsed) {
      keys.keys.push_back(key);
      keys.views.push_back({KeyIdText(key), "the build's KESTRUNE_MINISIGN_PUBLIC_KEY"});
    }
  }
  for (const std::string& keyFile : command.keyFiles) {
    const std::optional<MinisignKey> key = ReadKeyFile(keyFile, chosen.error);
    if (!key) return chosen;
    keys.keys.push_back(*key);
    keys.views.push_back({KeyIdText(*key), keyFile});
  }
  chosen.key = std::move(keys);
  return chosen;
}

// A release folder's updater.txt, read as a launcher reads it from the
// server, and the checks of its text; bytes when it could be read.
struct FolderManifest {
  std::filesystem::path folder;
  CheckReport report;
  std::optional<std::string> bytes;
};

FolderManifest ReadFolderManifest(const std::string& folderText, PublishServices& services) {
  FolderManifest manifest;
  manifest.folder = PathFromUtf8(folderText);
  const std::filesystem::path manifestPath = manifest.folder / texts::kRemoteManifestName;
  const std::string source = Utf8FromPath(manifestPath);
  CheckReport& report = manifest.report;
  report.source = source;
  std::error_code error;
  if (!std::filesystem::is_directory(manifest.folder, error)) {
    report.Add(Severity::kError, "no-folder", 0, folderText + " is not a folder");
    return manifest;
  }
  FolderFile file = ReadFolderFile(manifestPath, kMaxManifestBytes);
  switch (file.outcome) {
    case FolderFile::Outcome::kUnreadable:
      report.Add(Severity::kError, "no-manifest", 0, "cannot read it: " + ManifestRefusal());
      return manifest;
    case FolderFile::Outcome::kTooLarge:
      report.Add(Severity::kError, "too-large", 0,
                 "the file is longer than the " + std::to_string(kMaxManifestBytes) +
                     " bytes the launcher takes (" + std::to_string(file.size) +
                     " bytes found), and the launcher refuses it without reading on: " +
                     ManifestRefusal());
      return manifest;
    case FolderFile::Outcome::kRead:
      break;
  }
  report = CheckManifestText(file.bytes, source, CompiledAddresses().updateBaseUrl,
                             DecoderOf(services.system));
  manifest.bytes = std::move(file.bytes);
  return manifest;
}

CheckReport CheckFolderRelease(const std::string& folderText, const std::optional<CheckKey>& key,
                               PublishServices& services) {
  FolderManifest manifest = ReadFolderManifest(folderText, services);
  if (manifest.bytes) CheckFolder(manifest.folder, manifest.report, *manifest.bytes, key);
  return std::move(manifest.report);
}

CheckReport CheckLiveServer(const std::string& updateBaseUrl, const std::optional<CheckKey>& key,
                            PublishServices& services) {
  FetchProgress progress;
  bool shown = false;
  if (services.errIsTerminal) {
    progress = [&](std::size_t done, std::size_t total) {
      services.err << "\rfiles fetched: " << done << "/" << total << std::flush;
      shown = true;
    };
  }
  CheckReport report =
      CheckServer(services.internet, AgentName(services.system.OwnExecutablePath()), updateBaseUrl,
                  DecoderOf(services.system), progress, key);
  if (shown) services.err << "\r" << std::string(40, ' ') << "\r" << std::flush;
  return report;
}

int UsageError(PublishServices& services, const std::string& message) {
  services.err << kProgramName << ": " << Printed(message) << "\n"
               << "Try '" << kProgramName << " --help'.\n";
  return kWrongUsage;
}

int RunCheck(const CommandLine& command, PublishServices& services) {
  const ChosenKey chosen = ChooseKey(command);
  if (!chosen.error.empty()) return UsageError(services, chosen.error);
  CheckReport report = IsUpdateAddress(command.target)
                           ? CheckLiveServer(command.target, chosen.key, services)
                           : CheckFolderRelease(command.target, chosen.key, services);
  if (chosen.key) report.signatureKeys = chosen.key->views;
  if (command.json) {
    PrintReportJson(report, services.out);
  } else {
    PrintReport(report, services.out, services.err);
  }
  services.out.flush();
  return report.Passed() ? kAllWell : kProblemFound;
}

// What keeps a folder's list from being written: the launcher would refuse
// the manifest or a name in it, or a file it fetches is not there under
// its name, so no list could vouch for the release customers would get.
bool StopsSums(const Finding& finding) {
  static const std::set<std::string> kKinds = {"no-folder",    "no-manifest", "too-large",
                                               "refused-name", "folder-name", "missing-file",
                                               "case-mismatch"};
  return finding.severity == Severity::kError && kKinds.count(finding.kind) > 0;
}

// Writes bytes over path through a file beside it, so that path holds
// either what it held or all of bytes.
bool WriteReplacing(const std::filesystem::path& path, const std::string& bytes) {
  std::filesystem::path temporary = path;
  temporary += ".kestrune-publish-new";
  std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  file.close();
  std::error_code error;
  if (file) std::filesystem::rename(temporary, path, error);
  if (!file || error) {
    std::filesystem::remove(temporary, error);
    return false;
  }
  return true;
}

int RunSums(const CommandLine& command, PublishServices& services) {
  const FolderManifest manifest = ReadFolderManifest(command.target, services);
  CheckReport found = manifest.report;
  if (manifest.bytes) CheckFolder(manifest.folder, found, *manifest.bytes);
  CheckReport problems;
  problems.source = found.source;
  std::copy_if(found.findings.begin(), found.findings.end(), std::back_inserter(problems.findings),
               StopsSums);
  std::optional<std::string> list;
  if (problems.Passed()) list = ListRelease(manifest.folder, *manifest.bytes, found, problems);
  PrintFindings(problems, services.err);
  if (!list) {
    services.err << kProgramName << ": nothing written\n";
    return kProblemFound;
  }
  const std::filesystem::path target = manifest.folder / texts::kRemoteReleaseListName;
  if (!WriteReplacing(target, *list)) return Fail(services, "cannot write " + Utf8FromPath(target));
  return kAllWell;
}

}  // namespace

int RunPublish(std::span<const std::string> args, PublishServices& services) {
  const ParsedCommandLine parsed = ParseCommandLine(args);
  if (!parsed.error.empty()) return UsageError(services, parsed.error);
  const CommandLine& command = parsed.command;
  switch (command.action) {
    case CommandLine::Action::kHelp:
      services.out << kHelpText;
      return kAllWell;
    case CommandLine::Action::kVersion:
      services.out << kProgramName << " " << KESTRUNE_VERSION_STRING << "\n";
      return kAllWell;
    case CommandLine::Action::kNew:
      return RunNew(command, services);
    case CommandLine::Action::kCheck:
      return RunCheck(command, services);
    case CommandLine::Action::kSums:
      return RunSums(command, services);
  }
  return kWrongUsage;
}

}  // namespace kestrune::publish
