#include "platform/qt/qt_form1_window.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QPalette>
#include <QScrollBar>
#include <QVBoxLayout>

#include "app/layout.h"
#include "common/texts.h"
#include "platform/qt/qt_text.h"

namespace kestrune::qt {

QtForm1Window::QtForm1Window(FormEvents& events, const WindowLook& look,
                             const FormPictures& pictures, FailureReporter reportFailure)
    : events_(events), reportFailure_(std::move(reportFailure)) {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(ToQString(texts::kInitialCaption));
  setFont(look.windowFont);

  QPalette white = palette();
  white.setColor(QPalette::Window, Qt::white);
  setPalette(white);
  setAutoFillBackground(true);

  auto* frame = new QVBoxLayout(this);
  frame->setContentsMargins(0, 0, 0, 0);
  frame->setSpacing(0);
  scroll_ = new QScrollArea(this);
  scroll_->setFrameShape(QFrame::NoFrame);
  scroll_->setFocusPolicy(Qt::NoFocus);
  // The content fills the window when the window is larger, and keeps its
  // controls' extent (scroll bars appear) when it is smaller.
  scroll_->setWidgetResizable(true);
  scroll_->verticalScrollBar()->setSingleStep(layout::kVertScrollButtonSize);
  frame->addWidget(scroll_);

  content_ = new QWidget;
  content_->setObjectName(QStringLiteral("Form1Content"));
  content_->setAutoFillBackground(true);
  scroll_->setWidget(content_);

  // Made in the designed order, the one the Windows build makes them in: a
  // later sibling draws over an earlier one, so where a long title in Label1
  // reaches another control the two overlap the same way on both systems.
  image1_ = new PictureControl(ToQImage(pictures.logo), content_);
  image1_->setObjectName(QStringLiteral("Image1"));
  image1_->setGeometry(ToQRect(look.layout.image1));
  image1_->SetClickHandler(
      [this] { GuardedCall(reportFailure_, [this] { events_.Image1Click(); }); });

  exitBtn_ = MakePushButton(texts::kExitCaption);
  exitBtn_->setObjectName(QStringLiteral("ExitBtn"));
  exitBtn_->setGeometry(ToQRect(look.layout.exitBtn));
  QObject::connect(exitBtn_, &QPushButton::clicked, exitBtn_, [this] {
    GuardedCall(reportFailure_, [this] { events_.ExitBtnClick(); });
  });

  image2_ = new PictureControl(ToQImage(pictures.helpIcon), content_);
  image2_->setObjectName(QStringLiteral("Image2"));
  image2_->setGeometry(ToQRect(look.layout.image2));
  image2_->SetClickHandler(
      [this] { GuardedCall(reportFailure_, [this] { events_.Image2Click(); }); });

  label1_ = new QLabel(content_);
  label1_->setObjectName(QStringLiteral("Label1"));
  label1_->setTextFormat(Qt::PlainText);
  label1_->setFont(look.labelFont);
  QPalette grey = label1_->palette();
  grey.setColor(QPalette::WindowText,
                QColor(layout::kLabelGrey, layout::kLabelGrey, layout::kLabelGrey));
  label1_->setPalette(grey);
  label1_->move(look.layout.label1.left, look.layout.label1.top);
  SetLabelText(texts::kInitialLabel);

  resize(look.clientWidth, look.clientHeight);
  UpdateScrollExtent();
}

void QtForm1Window::SetCaption(const std::string& text) { setWindowTitle(ToQString(text)); }

void QtForm1Window::SetLabelText(const std::string& text) {
  label1_->setText(ToQString(text));
  // AutoSize: the label is as large as its text.
  label1_->adjustSize();
  UpdateScrollExtent();
}

void QtForm1Window::SetImage2Hint(const std::string& text) {
  image2_->SetHint(WithLineBreaks(text));
}

void QtForm1Window::SetHintHidePause(int milliseconds) { image2_->SetHintHidePause(milliseconds); }

int QtForm1Window::OuterHeight() const { return height(); }

int QtForm1Window::ExitButtonTop() const { return exitBtn_->y(); }

void QtForm1Window::LayOutLauncherButtons(const LauncherLayout& layout) {
  for (QPushButton* earlier : launcherButtons_) {
    // Later, not now: the button may be the sender of the click being
    // handled.
    earlier->hide();
    earlier->deleteLater();
  }
  launcherButtons_.clear();
  launcherExtent_ = QRect();

  launcherButtons_.reserve(layout.buttons.size());
  QWidget* previous = exitBtn_;
  for (const ButtonDesign& design : layout.buttons) {
    QPushButton* button = MakePushButton(design.caption);
    button->setObjectName(QStringLiteral("LauncherButton%1").arg(design.tag));
    button->setGeometry(design.left, design.top, design.width, design.height);
    QWidget::setTabOrder(previous, button);
    previous = button;
    const int tag = design.tag;
    QObject::connect(button, &QPushButton::clicked, button, [this, tag] {
      GuardedCall(reportFailure_, [this, tag] { events_.AssignProg(tag); });
    });
    button->show();
    launcherButtons_.push_back(button);
    // An empty rectangle adds nothing to a union.
    if (!button->geometry().isEmpty()) launcherExtent_ |= button->geometry();
  }

  resize(width(), layout.outerHeight);
  exitBtn_->move(exitBtn_->x(), layout.exitButtonTop);
  UpdateScrollExtent();
}

void QtForm1Window::Close() { close(); }

void QtForm1Window::closeEvent(QCloseEvent* event) {
  closed_ = true;
  event->accept();
  // The main window's closing ends the program, whichever way it closed.
  QCoreApplication::quit();
}

QPushButton* QtForm1Window::MakePushButton(const std::string& caption) {
  auto* button = new QPushButton(ToQString(caption), content_);
  // Enter presses the focused button, as Space does (and as both do on
  // Windows); outside a dialog Qt's buttons take Enter only when they are
  // auto-default.
  button->setAutoDefault(true);
  return button;
}

void QtForm1Window::UpdateScrollExtent() {
  QRect extent = launcherExtent_;
  for (const QWidget* control : {static_cast<QWidget*>(image1_), static_cast<QWidget*>(exitBtn_),
                                 static_cast<QWidget*>(image2_), static_cast<QWidget*>(label1_)}) {
    if (control) extent |= control->geometry();
  }
  content_->setMinimumSize(extent.x() + extent.width(), extent.y() + extent.height());
}

}  // namespace kestrune::qt
