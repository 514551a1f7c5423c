// What the program asks of the desktop (the shell and the boxes) and of the
// system it runs on. All text is UTF-8; each platform converts at its edge.
#pragma once

#include <string>
#include <string_view>

namespace kestrune {

// The shell and the modal boxes.
class Desktop {
 public:
  virtual ~Desktop() = default;
  // Opens a file or address with its registered handler, with the
  // launcher's own rights (a program is started in the launcher's own
  // current directory), parented to the main window. Fire and forget: the
  // outcome is not reported back.
  virtual void ShellOpen(const std::string& target) = 0;
  // Opens a document (a file that is no program) with its registered
  // handler with the signed-in user's rights, never the launcher's: an
  // editor or browser run as administrator would make every file dialog and
  // link in it an administrator's. The handler starts in the launcher's own
  // current directory. Fire and forget.
  virtual void OpenDocument(const std::string& path) = 0;
  // Opens a web page (the maker's addresses) in the browser with the
  // signed-in user's rights, never the launcher's: a launcher run as
  // administrator must not hand them to the browser. Fire and forget.
  virtual void OpenWebPage(const std::string& url) = 0;
  // Modal boxes owned by the application, centred on the screen; they may
  // appear while the main window is still hidden.
  // "Confirm", "&Yes" and "&No" with Yes the default; true only for Yes.
  virtual bool Confirm(const std::string& text) = 0;
  // "Information", information icon, one "OK" button.
  virtual void ShowInformation(const std::string& text) = 0;
  // Titled with the application title, error icon, one "OK" button.
  virtual void ShowError(const std::string& text) = 0;
};

// The running process and its system.
class System {
 public:
  virtual ~System() = default;
  // Suspends the calling thread.
  virtual void Sleep(int milliseconds) = 0;
  // Full path of the running program.
  virtual std::string OwnExecutablePath() = 0;
  // Converts 8-bit manifest text from the system's ANSI code page.
  // Only called for text holding a byte of 0x80 or above.
  virtual std::string AnsiToUtf8(std::string_view ansi) = 0;
  // The extensions the system runs as programs, as PATHEXT lists them
  // (".COM;.EXE;.BAT"); empty where the system keeps no such list.
  virtual std::string ProgramExtensions() = 0;
};

}  // namespace kestrune
