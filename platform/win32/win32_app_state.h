// What the application object and the desktop services share: the title of
// error boxes, and the main window the shell is parented to.
#pragma once

#include "platform/win32/win32_windows.h"

#include <string>

namespace kestrune::win32 {

struct AppState {
  std::string title;
  HWND mainWindow = nullptr;
};

}  // namespace kestrune::win32
