// Recognises the files Linux can start by themselves.
#pragma once

#include <span>
#include <string>

namespace kestrune::posix {

// True when the first bytes of a file are those of an ELF binary or of a
// "#!" script.
bool StartsLikeProgram(std::span<const char> head);

// Adds the owner's execute bit to path when its content is a program.
// A file that cannot be opened or read is left alone (the caller's next
// step reports it); a failing chmod throws IoError.
void MarkExecutableIfProgram(const std::string& path);

}  // namespace kestrune::posix
