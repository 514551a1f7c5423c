// The running process and its system on Linux.
#pragma once

#include <string>
#include <string_view>

#include "common/desktop.h"
#include "platform/posix/posix_ansi_code_page.h"

namespace kestrune::posix {

class PosixSystem final : public System {
 public:
  // Blocks the calling thread, as Windows' Sleep does: no events run.
  void Sleep(int milliseconds) override;
  // From /proc/self/exe; empty if the kernel does not tell.
  std::string OwnExecutablePath() override;
  // Windows-1252, the code page the maker's manifests are written in.
  std::string AnsiToUtf8(std::string_view ansi) override { return ansi_.Decode(ansi); }
  // None: a file is a program here by its executable bit, which the
  // desktop layer reads.
  std::string ProgramExtensions() override { return {}; }

 private:
  Cp1252Decoder ansi_;
};

}  // namespace kestrune::posix
