// What the launcher's logic needs from the desktop it runs on.
//
// Everything here is portable: no platform header is included, and all text
// is UTF-8 in std::string. Each platform layer converts at its own edge
// (UTF-16 for Win32 and Qt) and maps these calls onto native ones; the rules
// of the program stay in the core that calls them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/io_error.h"

namespace kestrune {

// ---------------------------------------------------------------- internet

struct ReadResult {
  bool ok = false;        // false: the transfer broke off
  std::size_t bytes = 0;  // bytes delivered into the buffer; 0 with ok = end
};

// The body of one response (a WinINet URL handle, a libcurl transfer).
// Destroying it releases the handle.
class InternetResponse {
 public:
  virtual ~InternetResponse() = default;
  // Final status after the redirects the platform follows (200, 404, ...).
  virtual int StatusCode() const = 0;
  // Length the server announced for the body, when it announced one.
  virtual std::optional<std::uint64_t> ContentLength() const = 0;
  // Blocks until some bytes, the end, or a failure.
  virtual ReadResult Read(std::span<std::byte> buffer) = 0;
};

// An internet session (InternetOpen). Destroying it releases the handle;
// a response must be destroyed before the session that opened it.
class InternetSession {
 public:
  virtual ~InternetSession() = default;
  // A plain GET with the platform's defaults; nullptr when the address
  // cannot be opened at all (bad address, refused, unreachable).
  virtual std::unique_ptr<InternetResponse> OpenUrl(std::string_view url) = 0;
};

class Internet {
 public:
  virtual ~Internet() = default;
  // nullptr when no session can be had.
  virtual std::unique_ptr<InternetSession> OpenSession(std::string_view agent) = 0;
};

// ------------------------------------------------------------------- files

// A file being written. Write and Close throw IoError. Destroying it
// without Close closes the handle without reporting.
class OutputFile {
 public:
  virtual ~OutputFile() = default;
  virtual void Write(std::span<const std::byte> bytes) = 0;
  // Flushes and closes; a failure to do either is an IoError.
  virtual void Close() = 0;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // The process's current directory, without a closing separator except at
  // a root.
  virtual std::string CurrentDirectory() = 0;
  // True only for an existing file that is not a directory.
  virtual bool FileExists(const std::string& path) = 0;
  // Creates or truncates a file for binary writing; throws IoError.
  virtual std::unique_ptr<OutputFile> CreateOutputFile(const std::string& path) = 0;
  // The whole content of a file; throws IoError.
  virtual std::string ReadWholeFile(const std::string& path) = 0;
  // Moves a file over another of the same directory, replacing it;
  // throws IoError.
  virtual void ReplaceFile(const std::string& from, const std::string& to) = 0;
  // Best effort: removes a file if it is there; never throws.
  virtual void RemoveFile(const std::string& path) noexcept = 0;
  // The separator this platform puts between a directory and a name.
  virtual char PathSeparator() const = 0;
};

// -------------------------------------------------------------- the desktop

class Desktop {
 public:
  virtual ~Desktop() = default;
  // Opens a file or address with its registered handler (a program is
  // started in the launcher's own current directory), parented to the
  // main window. Fire and forget: the outcome is not reported back.
  virtual void ShellOpen(const std::string& target) = 0;
  // Modal boxes owned by the application, centred on the screen; they may
  // appear while the main window is still hidden.
  // "Confirm", Yes and No with Yes the default; true only for Yes.
  virtual bool Confirm(const std::string& text) = 0;
  // "Information", information icon, one OK button.
  virtual void ShowInformation(const std::string& text) = 0;
  // Titled with the application title, error icon, one OK button.
  virtual void ShowError(const std::string& text) = 0;
  // A request: the current handler runs on, and the message loop ends
  // before the main window is used.
  virtual void Terminate() = 0;
  virtual void Sleep(int milliseconds) = 0;
  // Full path of the running program.
  virtual std::string OwnExecutablePath() = 0;
  // Converts 8-bit manifest text from the system's ANSI code page.
  // Only called for text holding a byte of 0x80 or above.
  virtual std::string AnsiToUtf8(std::string_view ansi) = 0;
};

// ------------------------------------------------------- the main window

// A launcher button the window owns; the core refers to it by this id.
using ButtonId = int;

struct ButtonDesign {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  int tag = 0;  // entry index; the platform passes it back on a click
  std::string caption;
};

// The operations the core drives on the main window. The platform builds
// the fixed controls itself, from the designed layout in app/layout.h.
class MainWindow {
 public:
  virtual ~MainWindow() = default;
  virtual void SetCaption(const std::string& text) = 0;
  virtual void SetLabelText(const std::string& text) = 0;
  virtual void SetImage2Hint(const std::string& text) = 0;
  virtual void SetHintHidePause(int milliseconds) = 0;
  // Outer (frame included) height, and the top of ExitBtn, in the
  // window's own pixels.
  virtual int OuterHeight() const = 0;
  virtual void SetOuterHeight(int height) = 0;
  virtual int ExitButtonTop() const = 0;
  virtual void SetExitButtonTop(int top) = 0;
  // Creates a push button parented on the window, after every existing
  // control in the tab order; its clicks reach TForm1::AssignProg(tag).
  virtual ButtonId CreateLauncherButton(const ButtonDesign& design) = 0;
  virtual void DestroyLauncherButton(ButtonId id) = 0;
  virtual void Close() = 0;
};

// Where the platform delivers the main window's clicks: TForm1.
class FormEvents {
 public:
  virtual ~FormEvents() = default;
  virtual void Image1Click() = 0;
  virtual void Image2Click() = 0;
  virtual void ExitBtnClick() = 0;
  // A launcher button was clicked; senderTag is the tag it was created with.
  virtual void AssignProg(int senderTag) = 0;
};

// The application object: owns the main window and runs the message loop.
class Application {
 public:
  virtual ~Application() = default;
  virtual void Initialize() = 0;
  // The taskbar button belongs to the main window (shows its caption).
  virtual void SetMainFormOnTaskbar(bool value) = 0;
  // The title of error boxes; not changed by the manifest.
  virtual void SetTitle(const std::string& title) = 0;
  // Builds the main window hidden, with its fixed controls laid out, and
  // sends its clicks to events. The application owns it.
  virtual MainWindow& CreateMainWindow(FormEvents& events) = 0;
  // Shows the main window and dispatches events until the application is
  // told to end; returns at once, window never shown for use, when that
  // was already asked for during start-up. Returns the exit code.
  virtual int Run() = 0;
};

// The services of one running program, handed to the core together.
struct Platform {
  Internet& internet;
  FileSystem& files;
  Desktop& desktop;
};

}  // namespace kestrune
