// The desktop services: shell, message boxes, pause, own path, ANSI text.
#pragma once

#include "platform/services.h"
#include "platform/win32/win32_app_state.h"

namespace kestrune::win32 {

class Win32Desktop final : public Desktop {
 public:
  explicit Win32Desktop(AppState& state) : state_(state) {}

  void ShellOpen(const std::string& target) override;
  bool Confirm(const std::string& text) override;
  void ShowInformation(const std::string& text) override;
  void ShowError(const std::string& text) override;
  void Terminate() override;
  void Sleep(int milliseconds) override;
  std::string OwnExecutablePath() override;
  std::string AnsiToUtf8(std::string_view ansi) override;

 private:
  AppState& state_;
};

// An application-modal box: no owner window, so it is centred on the
// screen and can show while the main window is still hidden.
int ShowMessageBox(const std::string& text, const std::string& title, UINT type);

}  // namespace kestrune::win32
