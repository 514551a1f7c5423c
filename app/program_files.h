// Which listed files the launcher starts as programs, with its own rights.
#pragma once

#include <string_view>

namespace kestrune {

// True for a file Windows would run as a program: its extension (that of the
// last part of the path, in any letter case) is one of programExtensions,
// the system's list in the form PATHEXT gives it (".COM;.EXE;.BAT"), or
// ".msi", which Windows installs. Every other file is a document, opened
// for the signed-in user: the launcher may run as administrator, and the
// editor or browser a document opens in must not.
bool RunsAsProgram(std::string_view path, std::string_view programExtensions);

}  // namespace kestrune
