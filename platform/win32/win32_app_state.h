// What the application object and the desktop services share: the title of
// error boxes, the request to end, and the main window boxes and the shell
// are parented to.
#pragma once

#include "platform/win32/win32_windows.h"

#include <string>

namespace kestrune::win32 {

struct AppState {
  std::string title;
  bool endRequested = false;
  bool loopRunning = false;
  HWND mainWindow = nullptr;
};

}  // namespace kestrune::win32
