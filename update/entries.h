// Where a manifest's entries are fetched from and written to: the rules the
// launcher and the maker's tool share.
#pragma once

#include <string>

#include "update/launcher_state.h"
#include "update/manifest.h"

namespace kestrune {

// directory + separator + name, without doubling a separator the directory
// already ends in (a drive's root).
std::string JoinPath(const std::string& directory, char separator, const std::string& name);

// The address of an entry's file: the update address followed by the name,
// as it stands (no escaping, no conversion of separators).
std::string EntryAddress(const std::string& updateBaseUrl, const std::string& fileName);

// Fills the launcher entry list of state (whose workDir is set) from the
// manifest's records, in order.
void FillEntries(const Manifest& manifest, const std::string& updateBaseUrl, char separator,
                 LauncherState& state);

}  // namespace kestrune
