// Which manifest file names may be written in the working directory.
#pragma once

#include <string_view>

namespace kestrune {

// The launcher runs with administrator rights, so a name from the server
// must stay inside the working directory: no absolute, drive, UNC or
// root-relative path, no ".." (nor any component Windows would rewrite:
// one ending in a dot or a space), no ':' (drives, alternate streams), no
// device name (CON, NUL, COM1, ...), no control character, and not a name
// the launcher writes its downloads under. Everything else is an ordinary
// name: "setup..exe", "tools\setup.exe", and the blank name, which is the
// working directory itself.
bool IsSafeEntryName(std::string_view name);

// Which of those rules refuses name, in a few words for the maker; empty
// when the name is safe. IsSafeEntryName is this being empty, so the
// maker's tool and the launcher can never disagree.
std::string_view EntryNameRefusal(std::string_view name);

}  // namespace kestrune
