#include "platform/qt/qt_application.h"

#include <QApplication>
#include <QMetaObject>

#include "app/texts.h"
#include "platform/qt/message_boxes.h"
#include "platform/qt/window_look.h"

namespace kestrune::qt {

QtApplication::QtApplication() : title_(texts::kApplicationTitle) {}

QtApplication::~QtApplication() = default;

void QtApplication::Initialize() {
  // Form1's closing ends the program (see Form1Window::closeEvent); Qt's own
  // rule would also end it when a box closes before the window is shown.
  QApplication::setQuitOnLastWindowClosed(false);
  QApplication::setWindowIcon(ProgramIcon());
  QApplication::setDesktopFileName(QStringLiteral("kestrune"));
}

// X11 and Wayland give every top-level window its own taskbar entry; there
// is no hidden application window whose button could be handed over.
void QtApplication::SetMainFormOnTaskbar(bool) {}

void QtApplication::SetTitle(const std::string& title) { title_ = title; }

MainWindow& QtApplication::CreateMainWindow(FormEvents& events) {
  window_ = std::make_unique<Form1Window>(events, MakeWindowLook(), [this](const std::string& text) {
    ShowErrorBox(title_, text);
  });
  return *window_;
}

int QtApplication::Run() {
  if (terminateRequested_ || !window_ || window_->WasClosed()) return 0;
  window_->show();
  running_ = true;
  const int code = QApplication::exec();
  running_ = false;
  return code;
}

void QtApplication::RequestTerminate() {
  terminateRequested_ = true;
  if (running_) {
    // Queued, so the handler that asked runs to its end first.
    QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
  }
}

}  // namespace kestrune::qt
