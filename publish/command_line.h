// What the maker asked for on the command line.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "update/manifest.h"

namespace kestrune::publish {

struct CommandLine {
  enum class Action { kHelp, kVersion, kNew, kCheck, kSums };
  Action action = Action::kHelp;

  // new: the title and the records, in UTF-8, and the file to write (empty:
  // standard output).
  std::string title;
  std::vector<ManifestRecord> records;
  std::string outputFile;

  // check: a folder, or an update address ending in /serverlist/; sums: a
  // folder.
  std::string target;
  bool json = false;
  // The minisign .pub files signatures are checked with, a list signed
  // with any one of them passing (none: the build's keys, if it has any).
  std::vector<std::string> keyFiles;
};

struct ParsedCommandLine {
  CommandLine command;
  std::string error;  // not empty: wrong usage, and why
};

// args without the program's own name, in UTF-8.
ParsedCommandLine ParseCommandLine(std::span<const std::string> args);

// An http:// or https:// address of a folder named serverlist, as the
// launcher's update address must be.
bool IsUpdateAddress(const std::string& text);

extern const char kHelpText[];

}  // namespace kestrune::publish
