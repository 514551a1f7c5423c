// The desktop services on Linux: boxes through Qt, files and addresses to
// the desktop's handlers, programs started directly.
#pragma once

#include <string>
#include <string_view>

#include "common/desktop.h"
#include "platform/qt/qt_application.h"

namespace kestrune::qt {

class QtDesktop final : public Desktop {
 public:
  explicit QtDesktop(QtApplication& application) : application_(application) {}

  // A local file with its execute bit set is started, detached, with no
  // arguments, in the launcher's current directory; any other file goes to
  // the desktop's default handler, and an address to the web browser.
  // Nothing passes through a shell.
  void ShellOpen(const std::string& target) override;
  // The launcher runs with the user's own rights here: a document is
  // opened as ShellOpen opens any file.
  void OpenDocument(const std::string& path) override { ShellOpen(path); }
  // The launcher runs with the user's own rights here: the browser gets
  // the address as any other would.
  void OpenWebPage(const std::string& url) override;
  bool Confirm(const std::string& text) override;
  void ShowInformation(const std::string& text) override;
  void ShowError(const std::string& text) override;

 private:
  QtApplication& application_;
};

// True for "scheme:..." addresses (two or more scheme characters, so a
// path is never taken for one).
bool IsAddress(std::string_view target);

}  // namespace kestrune::qt
