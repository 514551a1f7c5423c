// The program's modal boxes, on MessageBoxW.
#pragma once

#include "platform/win32/win32_windows.h"

#include <string>

namespace kestrune::win32 {

// An application-modal box: no owner window, so it is centred on the
// screen and can show while the main window is still hidden. Its buttons
// read "&Yes", "&No" and "OK" whatever the language of the system. Returns
// the button pressed (IDYES, IDNO, IDOK).
int ShowMessageBox(const std::string& text, const std::string& title, UINT type);

// The error box: error icon, one OK button.
void ShowErrorBox(const std::string& text, const std::string& title);

// For a last-resort guard: the failure being handled, worded as the core
// words every failure, in the error box. Never throws.
void ShowCurrentFailure(const std::string& title) noexcept;

}  // namespace kestrune::win32
