// The desktop services on Linux: boxes through Qt, files and addresses to
// the desktop's handlers, programs started directly.
#pragma once

#include "platform/posix/ansi_code_page.h"
#include "platform/qt/qt_application.h"
#include "platform/services.h"

namespace kestrune::qt {

class QtDesktop final : public Desktop {
 public:
  explicit QtDesktop(QtApplication& application) : application_(application) {}

  // A local file with its execute bit set is started, detached, with no
  // arguments, in the launcher's current directory; any other file goes to
  // the desktop's default handler, and an address to the web browser.
  // Nothing passes through a shell.
  void ShellOpen(const std::string& target) override;
  bool Confirm(const std::string& text) override;
  void ShowInformation(const std::string& text) override;
  void ShowError(const std::string& text) override;
  void Terminate() override;
  void Sleep(int milliseconds) override;
  std::string OwnExecutablePath() override;
  std::string AnsiToUtf8(std::string_view ansi) override;

 private:
  QtApplication& application_;
  posix::Cp1252Decoder ansi_;
};

// True for "scheme:..." addresses (two or more scheme characters, so a
// path is never taken for one).
bool IsAddress(std::string_view target);

}  // namespace kestrune::qt
