// The application object: COM for the shell, the common controls, the
// main window and the message loop.
#pragma once

#include "platform/win32/win32_windows.h"

#include <memory>

#include "app/main_window.h"
#include "platform/win32/win32_app_state.h"
#include "platform/win32/win32_form1_window.h"

namespace kestrune::win32 {

// The thread's COM apartment, which ShellExecute wants; left on the way out.
class ComApartment {
 public:
  ComApartment();
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
  ~ComApartment();

 private:
  bool initialized_;
};

class Win32Application final : public Application {
 public:
  Win32Application(HINSTANCE instance, int showCommand, AppState& state);

  void Initialize() override;
  void SetMainFormOnTaskbar(bool value) override { mainFormOnTaskbar_ = value; }
  void SetTitle(const std::string& title) override { state_.title = title; }
  MainWindow& CreateMainWindow(FormEvents& events, const FormPictures& pictures) override;
  int Run() override;
  void DestroyMainWindow() noexcept override;

 private:
  HINSTANCE instance_;
  int showCommand_;
  AppState& state_;
  bool mainFormOnTaskbar_ = false;
  // The window goes before the apartment its shell calls ran in.
  std::unique_ptr<ComApartment> com_;
  std::unique_ptr<Win32Form1Window> mainWindow_;
};

}  // namespace kestrune::win32
