// The program's state from start-up until exit.
#pragma once

#include <string>
#include <vector>

namespace kestrune {

// The start-up problem codes; their numbers are the ones the design gives
// (there is no 1).
enum class StartupState : int {
  Ok = 0,
  ManifestFailed = 2,
  DownloadFailed = 3,
  DownloadRefused = 4,
};

// The start-up problem code, whether start-up asked the program to end, the
// working directory and the launcher entry list: three parallel lists,
// always of equal length; entry i is element i of each and its button
// carries i as its tag.
struct LauncherState {
  StartupState startupState = StartupState::Ok;
  // Set by start-up after a problem: the window is then never shown for use.
  bool endRequested = false;
  std::string workDir;
  std::vector<std::string> localPaths;
  std::vector<std::string> remoteUrls;
  std::vector<std::string> buttonCaptions;
};

}  // namespace kestrune
