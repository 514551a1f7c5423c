#include "platform/qt/qt_application.h"

#include <QApplication>

#include "common/texts.h"
#include "platform/qt/qt_message_boxes.h"
#include "platform/qt/qt_window_look.h"

namespace kestrune::qt {

QtApplication::QtApplication() : title_(texts::kApplicationTitle) {}

QtApplication::~QtApplication() = default;

void QtApplication::Initialize() {
  // Form1's closing ends the program (see QtForm1Window::closeEvent); Qt's
  // own rule would also end it when a box closes before the window is shown.
  QApplication::setQuitOnLastWindowClosed(false);
  QApplication::setWindowIcon(ProgramIcon());
  QApplication::setDesktopFileName(QStringLiteral("kestrune"));
}

// X11 and Wayland give every top-level window its own taskbar entry; there
// is no hidden application window whose button could be handed over.
void QtApplication::SetMainFormOnTaskbar(bool) {}

void QtApplication::SetTitle(const std::string& title) { title_ = title; }

MainWindow& QtApplication::CreateMainWindow(FormEvents& events, const FormPictures& pictures) {
  window_ = std::make_unique<QtForm1Window>(events, MakeWindowLook(), pictures,
                                            [this](const std::string& text) {
                                              ShowErrorBox(title_, text);
                                            });
  return *window_;
}

int QtApplication::Run() {
  // A window already closed would never be closed again to end the loop.
  if (!window_ || window_->WasClosed()) return 0;
  window_->show();
  return QApplication::exec();
}

void QtApplication::DestroyMainWindow() noexcept { window_.reset(); }

}  // namespace kestrune::qt
