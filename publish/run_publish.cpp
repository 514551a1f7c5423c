#include "publish/run_publish.h"

#include <array>
#include <filesystem>
#include <fstream>
#include <optional>
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

// The key signatures are checked with: the --key file's, else the build's;
// nothing when there is neither. A key that cannot be read is wrong usage,
// told in error.
struct ChosenKey {
  std::optional<CheckKey> key;
  std::string error;
};

ChosenKey ChooseKey(const CommandLine& command) {
  ChosenKey chosen;
  if (command.keyFile.empty()) {
    const std::string built = CompiledAddresses().minisignPublicKey;
    if (built.empty()) return chosen;
    const std::optional<MinisignKey> key = ParseMinisignKey(built);
    if (!key) {
      chosen.error = "the key this tool was built with (KESTRUNE_MINISIGN_PUBLIC_KEY) is not a "
                     "minisign public key; give one with --key FILE.pub";
      return chosen;
    }
    chosen.key = CheckKey{*key, {KeyIdText(*key), "the build's KESTRUNE_MINISIGN_PUBLIC_KEY"}};
    return chosen;
  }
  // Read one byte past what a key file may hold, so that a larger file is
  // refused without reading it all.
  std::ifstream file(PathFromUtf8(command.keyFile), std::ios::binary);
  if (!file) {
    chosen.error = "--key: cannot read " + command.keyFile;
    return chosen;
  }
  std::array<char, kMaxSignatureFileSize + 1> bytes;
  file.read(bytes.data(), bytes.size());
  const std::optional<MinisignKey> key =
      ParsePublicKeyFile(std::string_view(bytes.data(), static_cast<std::size_t>(file.gcount())));
  if (!key) {
    chosen.error = "--key: " + command.keyFile +
                   " is not a minisign public key (the .pub file minisign -G writes: an "
                   "\"untrusted comment:\" line, then the key starting with RW)";
    return chosen;
  }
  chosen.key = CheckKey{*key, {KeyIdText(*key), command.keyFile}};
  return chosen;
}

CheckReport CheckFolderRelease(const std::string& folderText, const std::optional<CheckKey>& key,
                               PublishServices& services) {
  const std::filesystem::path folder = PathFromUtf8(folderText);
  const std::filesystem::path manifestPath = folder / texts::kRemoteManifestName;
  const std::string source = Utf8FromPath(manifestPath);
  CheckReport report;
  report.source = source;
  std::error_code error;
  if (!std::filesystem::is_directory(folder, error)) {
    report.Add(Severity::kError, "no-folder", 0, folderText + " is not a folder");
    return report;
  }
  std::ifstream file(manifestPath, std::ios::binary);
  if (!file) {
    report.Add(Severity::kError, "no-manifest", 0,
               "cannot read it: customers get \"" + std::string(texts::kManifestProblem) + "\"");
    return report;
  }
  // As a launcher would refuse it from the server: by its size, unread,
  // or at one byte past the limit, should it have grown since.
  std::uintmax_t size = std::filesystem::file_size(manifestPath, error);
  std::string bytes;
  if (error || size <= kMaxManifestBytes) {
    // Read in blocks: GCC 12 warns of a null dereference inside
    // istreambuf_iterator when it is inlined here.
    char block[4096];
    while (bytes.size() <= kMaxManifestBytes &&
           (file.read(block, sizeof block) || file.gcount() > 0)) {
      bytes.append(block, static_cast<std::size_t>(file.gcount()));
    }
    size = bytes.size();
  }
  if (size > kMaxManifestBytes) {
    report.Add(Severity::kError, "too-large", 0,
               "the file is longer than the " + std::to_string(kMaxManifestBytes) +
                   " bytes the launcher takes (" + std::to_string(size) +
                   " bytes found), and the launcher refuses it without reading on: "
                   "customers get \"" + std::string(texts::kManifestProblem) + "\"");
    return report;
  }
  report = CheckManifestText(bytes, source, CompiledAddresses().updateBaseUrl,
                             DecoderOf(services.system));
  CheckFolder(folder, report, key);
  return report;
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
  if (chosen.key) report.signatureKey = chosen.key->view;
  if (command.json) {
    PrintReportJson(report, services.out);
  } else {
    PrintReport(report, services.out, services.err);
  }
  services.out.flush();
  return report.Passed() ? kAllWell : kProblemFound;
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
  }
  return kWrongUsage;
}

}  // namespace kestrune::publish
