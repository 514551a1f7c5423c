// The running process and its system: the pause, the program's own path and
// the ANSI code page.
#pragma once

#include "common/desktop.h"

namespace kestrune::win32 {

class Win32System final : public System {
 public:
  void Sleep(int milliseconds) override;
  std::string OwnExecutablePath() override;
  std::string AnsiToUtf8(std::string_view ansi) override;
  // The machine's PATHEXT, as the system keeps it (not this process's
  // environment), or Windows' own default where it cannot be read.
  std::string ProgramExtensions() override;
};

}  // namespace kestrune::win32
