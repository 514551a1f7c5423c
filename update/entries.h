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

// The address of an entry's file, the one both builds send as it stands:
// the update address followed by the name (UTF-8, after its 8-bit
// decoding), a backslash before any '?' taken as the separator '/', and
// every byte a request line cannot carry as it stands (non-ASCII, controls,
// space, '"', '<', '>', '\\', '^', '`', '{', '|', '}') as a %XX escape. What
// an address may already hold ('%' escapes, a query) is left as it is.
std::string EntryAddress(const std::string& updateBaseUrl, const std::string& fileName);

// Fills the launcher entry list of state (whose workDir is set) from the
// manifest's records, in order.
void FillEntries(const Manifest& manifest, const std::string& updateBaseUrl, char separator,
                 LauncherState& state);

}  // namespace kestrune
