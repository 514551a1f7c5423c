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
  Win32Form1Window::RegisterWindowClass(instance_);
}

MainWindow& Win32Application::CreateMainWindow(FormEvents& events, const FormPictures& pictures) {
  if (mainWindow_) throw std::logic_error("The main window exists already");
  mainWindow_ = std::make_unique<Win32Form1Window>(instance_, state_, events, pictures,
                                                   mainFormOnTaskbar_);
  return *mainWindow_;
}

int Win32Application::Run() {
  if (!mainWindow_ || !mainWindow_->Handle()) return 0;
  mainWindow_->Show(showCommand_);
  MSG message{};
  // Until the window is closed: every way of closing it destroys it.
  while (mainWindow_->Handle()) {
    const BOOL got = ::GetMessageW(&message, nullptr, 0, 0);
    if (got == -1) break;
    if (got == 0) return static_cast<int>(message.wParam);
    if (mainWindow_->HandleDialogKey(message)) continue;
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  return 0;
}

void Win32Application::DestroyMainWindow() noexcept { mainWindow_.reset(); }

}  // namespace kestrune::win32
