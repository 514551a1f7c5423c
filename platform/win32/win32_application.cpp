#include "platform/win32/win32_application.h"

#include <commctrl.h>
#include <objbase.h>

#include <stdexcept>

namespace kestrune::win32 {

ComApartment::ComApartment()
    : initialized_(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED |
                                                           COINIT_DISABLE_OLE1DDE))) {}

ComApartment::~ComApartment() {
  if (initialized_) ::CoUninitialize();
}

Win32Application::Win32Application(HINSTANCE instance, int showCommand, AppState& state)
    : instance_(instance), showCommand_(showCommand), state_(state) {}

void Win32Application::Initialize() {
  com_ = std::make_unique<ComApartment>();
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof controls;
  controls.dwICC = ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES;
  ::InitCommonControlsEx(&controls);
  Win32MainWindow::RegisterWindowClass(instance_);
}

MainWindow& Win32Application::CreateMainWindow(FormEvents& events) {
  if (mainWindow_) throw std::logic_error("The main window exists already");
  mainWindow_ = std::make_unique<Win32MainWindow>(instance_, state_, events, mainFormOnTaskbar_);
  return *mainWindow_;
}

int Win32Application::Run() {
  int exitCode = 0;
  // An end asked for during start-up: the window is never shown for use.
  if (!state_.endRequested && mainWindow_ && mainWindow_->handle()) {
    state_.loopRunning = true;
    mainWindow_->Show(showCommand_);
    MSG message{};
    for (;;) {
      const BOOL got = ::GetMessageW(&message, nullptr, 0, 0);
      if (got == 0 || got == -1) break;
      // Tab, the arrow keys and Enter move between and press the controls.
      HWND main = mainWindow_->handle();
      if (main && ::IsDialogMessageW(main, &message)) continue;
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
    state_.loopRunning = false;
    if (message.message == WM_QUIT) exitCode = static_cast<int>(message.wParam);
  }
  // The form that receives the clicks ends with the caller: no event after this.
  if (mainWindow_) mainWindow_->Destroy();
  return exitCode;
}

}  // namespace kestrune::win32
