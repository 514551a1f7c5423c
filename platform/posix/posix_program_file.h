// Recognises the files Linux can start by themselves.
#pragma once

#include <span>
#include <string>

namespace kestrune::posix {

// True when the first bytes of a file are those of an ELF binary or of a
// "#!" script.
bool StartsLikeProgram(std::span<const char> head);

// Adds the owner's execute bit to the file open as fd when head, its first
// bytes, are those of a program; a failing chmod throws IoError naming path.
void MarkExecutableIfProgram(int fd, std::span<const char> head, const std::string& path);

}  // namespace kestrune::posix
