#include "publish/run_publish.h"

#include <filesystem>
#include <fstream>
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
  services.err << kProgramName << ": " << message << "\n";
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

CheckReport CheckFolderRelease(const std::string& folderText, PublishServices& services) {
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
  // Read in blocks: GCC 12 warns of a null dereference inside
  // istreambuf_iterator when it is inlined here.
  std::string bytes;
  char block[4096];
  while (file.read(block, sizeof block) || file.gcount() > 0) {
    bytes.append(block, static_cast<std::size_t>(file.gcount()));
  }
  report = CheckManifestText(bytes, source, CompiledAddresses().updateBaseUrl,
                             DecoderOf(services.system));
  CheckFolder(folder, report);
  return report;
}

CheckReport CheckLiveServer(const std::string& updateBaseUrl, PublishServices& services) {
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
                  DecoderOf(services.system), progress);
  if (shown) services.err << "\r" << std::string(40, ' ') << "\r" << std::flush;
  return report;
}

int RunCheck(const CommandLine& command, PublishServices& services) {
  const CheckReport report = IsUpdateAddress(command.target)
                                 ? CheckLiveServer(command.target, services)
                                 : CheckFolderRelease(command.target, services);
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
  if (!parsed.error.empty()) {
    services.err << kProgramName << ": " << parsed.error << "\n"
                 << "Try '" << kProgramName << " --help'.\n";
    return kWrongUsage;
  }
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
