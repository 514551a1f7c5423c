// The program's modal boxes, as Windows' MessageBox shows them: owned by
// the application (no parent window, so they work before the main window
// is shown), centred on the screen.
#pragma once

#include <string>

namespace kestrune::qt {

// Question icon, "&Yes" and "&No" with Yes the default; true only for Yes.
bool AskYesNo(const std::string& title, const std::string& text);

// Information icon, one "OK" button.
void ShowInformationBox(const std::string& title, const std::string& text);

// Error (critical) icon, one "OK" button.
void ShowErrorBox(const std::string& title, const std::string& text);

}  // namespace kestrune::qt
