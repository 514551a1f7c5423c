#include "publish/command_line.h"

#include <algorithm>
#include <string_view>

namespace kestrune::publish {

const char kHelpText[] =
    "Usage: kestrune-publish new --title TITLE [-o FILE] NAME CAPTION [NAME CAPTION ...]\n"
    "       kestrune-publish sums DIR\n"
    "       kestrune-publish check [--json] [--key FILE.pub]... DIR\n"
    "       kestrune-publish check [--json] [--key FILE.pub]... URL\n"
    "       kestrune-publish --help | --version\n"
    "\n"
    "Writes and checks the manifest (updater.txt) the Kestrune launcher reads, and\n"
    "the list of the release's hashes (updater.b2sums) the maker signs, with the\n"
    "launcher's own reader, name rules, signature check and internet service.\n"
    "\n"
    "new     Writes a manifest in Windows-1252 with CR LF line ends to standard output\n"
    "        (or to FILE with -o): the title, then each NAME and CAPTION. Refuses, and\n"
    "        writes nothing, a name the launcher would refuse, text with no\n"
    "        Windows-1252 form, a name or caption the launcher would trim, a line\n"
    "        break, and a title starting with a byte-order mark.\n"
    "sums    Writes DIR/updater.b2sums byte for byte as 'cd DIR && b2sum updater.txt\n"
    "        FILE...' prints it for updater.txt and each file the manifest lists,\n"
    "        once, in its order, '\\' written as '/'. Sign it with\n"
    "        'minisign -Sm DIR/updater.b2sums'. Refuses, and writes nothing, when\n"
    "        the launcher would refuse the manifest or a name in it, or a listed\n"
    "        file is not in DIR under its exact name.\n"
    "check   Reads DIR/updater.txt as the launcher does, shows the title and each\n"
    "        entry (name, caption, the address fetched, the local path written),\n"
    "        then every problem at its line, and lists DIR's files that no entry\n"
    "        names. Given an http:// or https:// URL ending in /serverlist/, fetches\n"
    "        updater.txt and every listed file from that server as the launcher\n"
    "        would, and reports error statuses, short bodies, redirects and an\n"
    "        updater.txt past the launcher's 16 MiB (refused without reading on).\n"
    "        With a key, also checks updater.b2sums.minisig over updater.b2sums,\n"
    "        then updater.txt and each listed file against that list, as a\n"
    "        launcher built with that key does, and reports each refusal and why:\n"
    "        the signature missing, malformed or too long, legacy algorithm,\n"
    "        another key, not matching the list, trusted comment edited, signed\n"
    "        for another file name or undated; a list line b2sum does not write;\n"
    "        a file the list does not name, or whose bytes differ from its line.\n"
    "        A list that checks out has its signature's timestamp printed: the\n"
    "        value for KESTRUNE_MINIMUM_RELEASE_TIMESTAMP, below which a launcher\n"
    "        built with it takes no release.\n"
    "\n"
    "Options:\n"
    "  --title TITLE  the window's title (new)\n"
    "  -o FILE        write the manifest to FILE rather than standard output (new)\n"
    "  --json         print the check as one JSON document (check)\n"
    "  --key FILE.pub\n"
    "                 check the list's signature with the minisign public key in\n"
    "                 FILE.pub (check); given more than once, a list signed with\n"
    "                 any of them passes, as in a launcher built with them all;\n"
    "                 without it, with the keys the tool was built with\n"
    "                 (KESTRUNE_MINISIGN_PUBLIC_KEY), if any\n"
    "  --             every later argument is a NAME or CAPTION, even one starting with -\n"
    "  -h, --help     show this help\n"
    "  --version      show the version\n"
    "\n"
    "Problems go to standard error as FILE:LINE: error: MESSAGE [kind]; control\n"
    "characters are shown as escapes such as \\u009d.\n"
    "Exit status: 0 when all is well (warnings allowed), 1 when a problem was\n"
    "found, 2 for wrong usage.\n";

bool IsUpdateAddress(const std::string& text) {
  // The rule the build applies to KESTRUNE_UPDATE_BASE_URL: http:// or
  // https://, a host, then a path ending in the folder serverlist/; here
  // letter case does not count. Written out rather than as a std::regex,
  // which alone took a third of the tool's build.
  std::string lower = text;
  std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  });
  std::string_view rest = lower;
  if (rest.starts_with("http://")) {
    rest.remove_prefix(7);
  } else if (rest.starts_with("https://")) {
    rest.remove_prefix(8);
  } else {
    return false;
  }
  const auto hostEnd = rest.find('/');
  if (hostEnd == std::string_view::npos || hostEnd == 0) return false;
  std::string_view path = rest.substr(hostEnd + 1);
  constexpr std::string_view kFolder = "serverlist/";
  if (!path.ends_with(kFolder)) return false;
  path.remove_suffix(kFolder.size());
  if (!path.empty() && path.back() != '/') return false;
  // No line break in the path, which the pattern's '.' never matched.
  return path.find_first_of("\r\n") == std::string_view::npos;
}

namespace {

ParsedCommandLine Usage(std::string error) {
  ParsedCommandLine parsed;
  parsed.error = std::move(error);
  return parsed;
}

ParsedCommandLine ParseNew(std::span<const std::string> args) {
  ParsedCommandLine parsed;
  CommandLine& command = parsed.command;
  command.action = CommandLine::Action::kNew;
  bool haveTitle = false;
  bool optionsEnded = false;
  std::vector<std::string> texts;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (!optionsEnded && arg == "--") {
      optionsEnded = true;
    } else if (!optionsEnded && (arg == "--title" || arg == "-o")) {
      if (i + 1 == args.size()) return Usage(arg + " needs a value");
      (arg == "--title" ? command.title : command.outputFile) = args[++i];
      if (arg == "--title") haveTitle = true;
      if (arg == "-o" && command.outputFile.empty()) return Usage("-o needs a file name");
    } else if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
      return Usage("new: unknown option " + arg);
    } else {
      texts.push_back(arg);
    }
  }
  if (!haveTitle) return Usage("new needs --title TITLE");
  if (texts.empty()) return Usage("new needs at least one NAME and CAPTION");
  if (texts.size() % 2 != 0) return Usage("the name " + texts.back() + " has no caption");
  for (std::size_t i = 0; i < texts.size(); i += 2) {
    command.records.push_back({texts[i], texts[i + 1]});
  }
  return parsed;
}

ParsedCommandLine ParseCheck(std::span<const std::string> args) {
  ParsedCommandLine parsed;
  CommandLine& command = parsed.command;
  command.action = CommandLine::Action::kCheck;
  bool optionsEnded = false;
  bool haveTarget = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (!optionsEnded && arg == "--") {
      optionsEnded = true;
    } else if (!optionsEnded && arg == "--json") {
      command.json = true;
    } else if (!optionsEnded && arg == "--key") {
      if (i + 1 == args.size() || args[i + 1].empty()) return Usage("--key needs a FILE.pub");
      command.keyFiles.push_back(args[++i]);
    } else if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
      return Usage("check: unknown option " + arg);
    } else if (haveTarget) {
      return Usage("check takes one DIR or URL");
    } else {
      command.target = arg;
      haveTarget = true;
    }
  }
  if (!haveTarget || command.target.empty()) return Usage("check needs a DIR or URL");
  const bool looksLikeAddress = command.target.find("://") != std::string::npos;
  if (looksLikeAddress && !IsUpdateAddress(command.target)) {
    return Usage("an update address is http:// or https:// and ends in /serverlist/: " +
                 command.target);
  }
  return parsed;
}

ParsedCommandLine ParseSums(std::span<const std::string> args) {
  ParsedCommandLine parsed;
  CommandLine& command = parsed.command;
  command.action = CommandLine::Action::kSums;
  bool optionsEnded = false;
  bool haveTarget = false;
  for (const std::string& arg : args) {
    if (!optionsEnded && arg == "--") {
      optionsEnded = true;
    } else if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
      return Usage("sums: unknown option " + arg);
    } else if (haveTarget) {
      return Usage("sums takes one DIR");
    } else {
      command.target = arg;
      haveTarget = true;
    }
  }
  if (!haveTarget || command.target.empty()) return Usage("sums needs a DIR");
  if (command.target.find("://") != std::string::npos) {
    return Usage("sums writes into a release folder, not to a server: " + command.target);
  }
  return parsed;
}

}  // namespace

ParsedCommandLine ParseCommandLine(std::span<const std::string> args) {
  if (args.empty()) return Usage("no command given");
  const std::string& first = args[0];
  for (const std::string& arg : args) {
    if (arg == "--") break;
    if (arg == "-h" || arg == "--help") return {};
  }
  if (first == "--version") {
    ParsedCommandLine parsed;
    parsed.command.action = CommandLine::Action::kVersion;
    return parsed;
  }
  if (first == "new") return ParseNew(args.subspan(1));
  if (first == "check") return ParseCheck(args.subspan(1));
  if (first == "sums") return ParseSums(args.subspan(1));
  return Usage("unknown command " + first);
}

}  // namespace kestrune::publish
