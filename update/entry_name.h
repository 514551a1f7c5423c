// Which manifest file names may be written in the working directory.
#pragma once

#include <string_view>

namespace kestrune {

// The launcher runs with administrator rights, so a name from the server
// must stay inside the working directory: no absolute, drive, UNC or
// root-relative path, no ".." (nor any component Windows would rewrite,
// such as trailing dots or spaces), no ':' (drives, alternate streams), no
// device name (CON, NUL, COM1, ...), no wildcard or control character, and
// not empty, and not a name the launcher writes its downloads under. Two
// dots in a row are refused anywhere in the name ("a..b" too). Plain
// sub-folder names ("tools\setup.exe") are allowed.
bool IsSafeEntryName(std::string_view name);

}  // namespace kestrune
