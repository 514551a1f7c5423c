// The start-up update run at every start, before the window is shown.
#pragma once

#include <string>

#include "common/addresses.h"
#include "common/services.h"
#include "update/launcher_state.h"

namespace kestrune {

// Pause between fetching the manifest and reading it.
inline constexpr int kManifestReadPauseMs = 600;

// The message of a problem; empty for Ok.
std::string StateMessage(StartupState startupState);

// Shows the current problem's message in an information box.
void ShowStateMessage(Desktop& desktop, StartupState startupState);

// What the start-up update drives on the main window.
class StartupTarget {
 public:
  virtual ~StartupTarget() = default;
  virtual void ApplyTitle(const std::string& title) = 0;
  virtual void DisplayButtons() = 0;
};

// Fetches the manifest, reads it into state, asks once and downloads the
// missing files, builds the buttons and, after a problem, sets
// state.endRequested. IoError escapes to the caller.
void RunStartupUpdate(Platform& platform, const Addresses& addresses, LauncherState& state,
                      StartupTarget& target);

}  // namespace kestrune
