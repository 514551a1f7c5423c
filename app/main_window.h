// The main window and the application object as the core drives them. The
// platform builds the native window with its fixed controls from the
// designed layout (app/layout.h) and hands every event to FormEvents.
#pragma once

#include <string>
#include <vector>

#include "app/picture/form_pictures.h"

namespace kestrune {

// One launcher button as it is to be made.
struct ButtonDesign {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  int tag = 0;  // entry index; the platform passes it back on a click
  std::string caption;
  // The window's outer height at the moment this button is made: past the
  // fifth, the window has already grown by a pitch for it.
  int windowOuterHeight = 0;
};

// Everything DisplayButtons decides, handed to the window at once.
struct LauncherLayout {
  std::vector<ButtonDesign> buttons;  // in entry order, which is tab order
  int outerHeight = 0;                // the window's outer height afterwards
  int exitButtonTop = 0;              // ExitBtn's top afterwards
};

class MainWindow {
 public:
  virtual ~MainWindow() = default;
  virtual void SetCaption(const std::string& text) = 0;
  virtual void SetLabelText(const std::string& text) = 0;
  virtual void SetImage2Hint(const std::string& text) = 0;
  virtual void SetHintHidePause(int milliseconds) = 0;
  // Outer (frame included) height, and the top of ExitBtn, in the
  // window's own pixels, as the window was laid out at its creation.
  virtual int OuterHeight() const = 0;
  virtual int ExitButtonTop() const = 0;
  // Destroys the launcher buttons of any earlier layout, then makes these
  // push buttons on the window, after every existing control in the tab
  // order, resizes the window and moves ExitBtn. A click on a button
  // reaches FormEvents::AssignProg with the button's own tag.
  virtual void LayOutLauncherButtons(const LauncherLayout& layout) = 0;
  // Closes the window once the current handler has returned.
  virtual void Close() = 0;
};

// Where the platform delivers the main window's clicks: TForm1.
class FormEvents {
 public:
  virtual ~FormEvents() = default;
  virtual void Image1Click() = 0;
  virtual void Image2Click() = 0;
  virtual void ExitBtnClick() = 0;
  // A launcher button was clicked; senderTag is the tag it was made with.
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
  // Builds the main window hidden, with its fixed controls laid out and the
  // pictures in them, and sends its clicks to events.
  virtual MainWindow& CreateMainWindow(FormEvents& events, const FormPictures& pictures) = 0;
  // Shows the main window and dispatches events until it is closed.
  // Returns the exit code.
  virtual int Run() = 0;
  // Destroys the main window, shown or not; no event is delivered after.
  virtual void DestroyMainWindow() noexcept = 0;
};

}  // namespace kestrune
