// Facts about the running process that the platform layer reports.
#pragma once

#include <string>

namespace kestrune::posix {

// Full path of the running program (from /proc/self/exe); empty if the
// kernel does not tell.
std::string OwnExecutablePath();

// Blocks the calling thread, as Windows' Sleep does: no events run.
void SleepMilliseconds(int milliseconds);

}  // namespace kestrune::posix
