// The program's state from start-up until exit.
#pragma once

#include <string>
#include <vector>

namespace kestrune {

// The start-up problem code, whether start-up asked the program to end, the
// working directory and the launcher entry list: three parallel lists,
// always of equal length; entry i is element i of each and its button
// carries i as its tag.
struct LauncherState {
  int startupState = 0;
  // Set by start-up after a problem: the window is then never shown for use.
  bool endRequested = false;
  std::string workDir;
  std::vector<std::string> localPaths;
  std::vector<std::string> remoteUrls;
  std::vector<std::string> buttonCaptions;
};

}  // namespace kestrune
