// The application object: owns Form1 and runs Qt's event loop. The
// QApplication itself is made by main() (with a fixed argument list) before
// this object and outlives it.
#pragma once

#include <memory>
#include <string>

#include "platform/qt/form1_window.h"
#include "platform/services.h"

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
  MainWindow& CreateMainWindow(FormEvents& events) override;
  int Run() override;

  const std::string& Title() const { return title_; }
  // Desktop::Terminate: during start-up the window is then never shown;
  // later, the event loop ends once the current handler returns.
  void RequestTerminate();
  bool TerminateRequested() const { return terminateRequested_; }
  Form1Window* Window() const { return window_.get(); }

 private:
  std::string title_;
  bool terminateRequested_ = false;
  bool running_ = false;
  std::unique_ptr<Form1Window> window_;
};

}  // namespace kestrune::qt
