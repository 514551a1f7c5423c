// The desktop services: the shell and the modal boxes.
#pragma once

#include <string>

#include "common/desktop.h"
#include "platform/win32/win32_app_state.h"

namespace kestrune::win32 {

class Win32Desktop final : public Desktop {
 public:
  explicit Win32Desktop(const AppState& state) : state_(state) {}

  void ShellOpen(const std::string& target) override;
  // Both through the desktop's own shell where there is one, else
  // ShellExecute.
  void OpenDocument(const std::string& path) override;
  void OpenWebPage(const std::string& url) override;
  bool Confirm(const std::string& text) override;
  void ShowInformation(const std::string& text) override;
  void ShowError(const std::string& text) override;

 private:
  const AppState& state_;
};

// Hands a web page or a document to the desktop's own shell, which opens it
// with the signed-in user's rights, its handler started in directory (the
// shell's own choice when empty); false where there is no desktop shell to
// ask (another shell, or none). Needs the thread's COM apartment.
bool OpenThroughTheDesktopShell(const std::string& target, const std::string& directory = {});

}  // namespace kestrune::win32
