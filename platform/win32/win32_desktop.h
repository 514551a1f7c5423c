// The desktop services: the shell and the modal boxes.
#pragma once

#include "common/desktop.h"
#include "platform/win32/win32_app_state.h"

namespace kestrune::win32 {

class Win32Desktop final : public Desktop {
 public:
  explicit Win32Desktop(const AppState& state) : state_(state) {}

  void ShellOpen(const std::string& target) override;
  bool Confirm(const std::string& text) override;
  void ShowInformation(const std::string& text) override;
  void ShowError(const std::string& text) override;

 private:
  const AppState& state_;
};

}  // namespace kestrune::win32
