// The application object: owns Form1 and runs Qt's event loop. The
// QApplication itself is made by main() (with a fixed argument list) before
// this object and outlives it.
#pragma once

#include <memory>
#include <string>

#include "app/main_window.h"
#include "platform/qt/qt_form1_window.h"

namespace kestrune::qt {

class QtApplication final : public Application {
 public:
  QtApplication();
  ~QtApplication() override;
  QtApplication(const QtApplication&) = delete;
  QtApplication& operator=(const QtApplication&) = delete;

  void Initialize() override;
  void SetMainFormOnTaskbar(bool value) override;
  void SetTitle(const std::string& title) override;
  MainWindow& CreateMainWindow(FormEvents& events, const FormPictures& pictures) override;
  int Run() override;
  void DestroyMainWindow() noexcept override;

  const std::string& Title() const { return title_; }
  QtForm1Window* Window() const { return window_.get(); }

 private:
  std::string title_;
  std::unique_ptr<QtForm1Window> window_;
};

}  // namespace kestrune::qt
