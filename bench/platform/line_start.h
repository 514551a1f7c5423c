// One start-up of the program's own core over a platform's real internet
// and files, for the line benchmarks (bench/platform/line): the question
// answered Yes at once, the design's pause left out, the window reduced to
// the moment its buttons are built. Shared by the Linux and the Windows
// benchmark programs, which differ only in the platform they hand in.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>
#include <string_view>

#include "common/addresses.h"
#include "common/services.h"
#include "update/launcher_state.h"
#include "update/startup.h"

namespace kestrune::bench {

using Clock = std::chrono::steady_clock;

class YesDesktop final : public Desktop {
 public:
  void ShellOpen(const std::string&) override {}
  void OpenWebPage(const std::string&) override {}
  bool Confirm(const std::string&) override {
    answered = Clock::now();
    asked = true;
    return true;
  }
  void ShowInformation(const std::string& text) override {
    std::fprintf(stderr, "information: %s\n", text.c_str());
  }
  void ShowError(const std::string& text) override {
    std::fprintf(stderr, "error: %s\n", text.c_str());
  }

  bool asked = false;
  Clock::time_point answered;
};

// The real system without the pause: the figures leave it out.
class NoPauseSystem final : public System {
 public:
  explicit NoPauseSystem(System& real) : real_(real) {}
  void Sleep(int) override {}
  std::string OwnExecutablePath() override { return real_.OwnExecutablePath(); }
  std::string AnsiToUtf8(std::string_view ansi) override { return real_.AnsiToUtf8(ansi); }

 private:
  System& real_;
};

class ButtonsTarget final : public StartupTarget {
 public:
  void ApplyTitle(const std::string&) override {}
  void DisplayButtons() override { built = Clock::now(); }
  Clock::time_point built;
};

// Runs one start in the current directory and prints, on one line, the
// seconds from its beginning to the buttons, those from the Yes to the
// buttons (-1 without a question), the start-up state and the entries.
inline int TimeOneStart(Internet& internet, FileSystem& files, System& system,
                        const std::string& updateBaseUrl, const std::string& publicKey) {
  Addresses addresses;
  addresses.updateBaseUrl = updateBaseUrl;
  addresses.minisignPublicKey = publicKey;
  YesDesktop desktop;
  NoPauseSystem noPause(system);
  ButtonsTarget target;
  Platform platform{internet, files, desktop, noPause};
  LauncherState state;
  const Clock::time_point start = Clock::now();
  RunStartupUpdate(platform, addresses, state, target);
  const auto seconds = [](Clock::duration d) { return std::chrono::duration<double>(d).count(); };
  std::printf("seconds=%.6f from_yes=%.6f state=%d entries=%zu\n", seconds(target.built - start),
              desktop.asked ? seconds(target.built - desktop.answered) : -1.0,
              static_cast<int>(state.startupState), state.localPaths.size());
  return state.startupState == StartupState::Ok ? 0 : 1;
}

}  // namespace kestrune::bench
