#include "platform/win32/win32_desktop.h"

#include "platform/win32/win32_windows.h"
#include <shellapi.h>

#include "common/texts.h"
#include "platform/win32/win32_message_box.h"
#include "platform/win32/win32_text.h"

namespace kestrune::win32 {

void Win32Desktop::ShellOpen(const std::string& target) {
  // Fire and forget: the shell reports its own failures, if any.
  ::ShellExecuteW(state_.mainWindow, L"open", Widen(target).c_str(), nullptr, nullptr,
                  SW_SHOWNORMAL);
}

bool Win32Desktop::Confirm(const std::string& text) {
  return ShowMessageBox(text, texts::kConfirmTitle,
                        MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON1) == IDYES;
}

void Win32Desktop::ShowInformation(const std::string& text) {
  ShowMessageBox(text, texts::kInformationTitle, MB_OK | MB_ICONINFORMATION);
}

void Win32Desktop::ShowError(const std::string& text) { ShowErrorBox(text, state_.title); }

}  // namespace kestrune::win32
