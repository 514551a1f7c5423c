// The downloads' progress window of a build with the maker's option: a
// top-level window of its own (with its own taskbar entry) holding the
// caption, the count, a bar and Cancel, laid out by the core.
#pragma once

#include <QWidget>

#include <memory>

#include "common/progress_window.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace kestrune::qt {

class QtProgressWindow final : public ProgressWindow {
 public:
  QtProgressWindow();
  ~QtProgressWindow() override;
  bool Show(const ProgressView& view) override;
  void Close() override;

 private:
  class Window;
  std::unique_ptr<Window> window_;
  bool cancelled_ = false;
};

}  // namespace kestrune::qt
