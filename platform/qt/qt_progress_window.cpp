#include "platform/qt/qt_progress_window.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include "app/layout.h"
#include "common/texts.h"
#include "platform/qt/qt_text.h"
#include "platform/qt/qt_window_look.h"

namespace kestrune::qt {

// The widgets; every way of closing or confirming it is Cancel.
class QtProgressWindow::Window final : public QWidget {
 public:
  explicit Window(bool& cancelled) : cancelled_(cancelled) {
    const WindowLook look = MakeWindowLook();
    const ScaledProgressLayout layout = ScaleProgressLayout(look.textHeight);
    setObjectName(QStringLiteral("Progress"));
    setFont(look.windowFont);
    setWindowIcon(ProgramIcon());
    setFixedSize(layout.outerWidth - kWindowsFrameWidth, layout.outerHeight - kWindowsFrameHeight);
    caption_ = new QLabel(this);
    caption_->setObjectName(QStringLiteral("ProgressCaption"));
    caption_->setGeometry(ToQRect(layout.caption));
    count_ = new QLabel(this);
    count_->setObjectName(QStringLiteral("ProgressCount"));
    count_->setGeometry(ToQRect(layout.count));
    bar_ = new QProgressBar(this);
    bar_->setObjectName(QStringLiteral("ProgressBar"));
    bar_->setTextVisible(false);
    bar_->setGeometry(ToQRect(layout.bar));
    cancel_ = new QPushButton(ToQString(texts::kProgressCancelCaption), this);
    cancel_->setObjectName(QStringLiteral("ProgressCancel"));
    cancel_->setGeometry(ToQRect(layout.cancel));
    cancel_->setDefault(true);
    QObject::connect(cancel_, &QPushButton::clicked, [this] { cancelled_ = true; });
  }

  void ShowView(const ProgressView& view) {
    setWindowTitle(ToQString(view.title));
    caption_->setText(ToQString(view.caption));
    count_->setText(ToQString(view.count));
    if (view.steps) {
      bar_->setRange(0, kProgressSteps);
      bar_->setValue(*view.steps);
    } else {
      bar_->setRange(0, 0);  // busy: moving, without telling how far
    }
    if (!isVisible()) {
      show();
      activateWindow();
      cancel_->setFocus();
    }
  }

 protected:
  void closeEvent(QCloseEvent* event) override {
    cancelled_ = true;
    event->ignore();  // the core closes it, once the transfer has stopped
  }
  void keyPressEvent(QKeyEvent* event) override {
    switch (event->key()) {
      case Qt::Key_Escape:
      case Qt::Key_Return:
      case Qt::Key_Enter:
        cancelled_ = true;
        return;
      default:
        QWidget::keyPressEvent(event);
    }
  }

 private:
  bool& cancelled_;
  QLabel* caption_ = nullptr;
  QLabel* count_ = nullptr;
  QProgressBar* bar_ = nullptr;
  QPushButton* cancel_ = nullptr;
};

QtProgressWindow::QtProgressWindow() = default;
QtProgressWindow::~QtProgressWindow() = default;

bool QtProgressWindow::Show(const ProgressView& view) {
  if (!window_) {
    cancelled_ = false;
    window_ = std::make_unique<Window>(cancelled_);
  }
  window_->ShowView(view);
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  return cancelled_;
}

void QtProgressWindow::Close() {
  // Destroyed rather than hidden: the next file's window is a new one, as
  // on Windows, so nothing of a cancelled one carries over.
  window_.reset();
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

}  // namespace kestrune::qt
