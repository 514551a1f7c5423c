#include "platform/qt/form1_window.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QPalette>
#include <QScrollBar>
#include <QVBoxLayout>

#include <algorithm>

#include "app/layout.h"
#include "app/texts.h"
#include "platform/qt/qt_text.h"

namespace kestrune::qt {

namespace {

QRect ToQRect(const Rect& r) { return QRect(r.left, r.top, r.width, r.height); }

}  // namespace

Form1Window::Form1Window(FormEvents& events, const WindowLook& look, FailureReporter reportFailure)
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

  image1_ = new PictureControl(look.logo, content_);
  image1_->setObjectName(QStringLiteral("Image1"));
  image1_->setGeometry(ToQRect(look.layout.image1));
  image1_->SetClickHandler(
      [this] { GuardedCall(reportFailure_, [this] { events_.Image1Click(); }); });

  image2_ = new PictureControl(look.helpIcon, content_);
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

  exitBtn_ = new QPushButton(ToQString(texts::kExitCaption), content_);
  exitBtn_->setObjectName(QStringLiteral("ExitBtn"));
  exitBtn_->setGeometry(ToQRect(look.layout.exitBtn));
  exitBtn_->setAutoDefault(false);
  QObject::connect(exitBtn_, &QPushButton::clicked, exitBtn_, [this] {
    GuardedCall(reportFailure_, [this] { events_.ExitBtnClick(); });
  });

  resize(look.clientWidth, look.clientHeight);
  UpdateScrollExtent();
}

void Form1Window::SetCaption(const std::string& text) { setWindowTitle(ToQString(text)); }

void Form1Window::SetLabelText(const std::string& text) {
  label1_->setText(ToQString(text));
  // AutoSize: the label is as large as its text.
  label1_->adjustSize();
  UpdateScrollExtent();
}

void Form1Window::SetImage2Hint(const std::string& text) { image2_->SetHint(WithLineBreaks(text)); }

void Form1Window::SetHintHidePause(int milliseconds) { image2_->SetHintHidePause(milliseconds); }

int Form1Window::OuterHeight() const { return height(); }

void Form1Window::SetOuterHeight(int height) { resize(width(), height); }

int Form1Window::ExitButtonTop() const { return exitBtn_->y(); }

void Form1Window::SetExitButtonTop(int top) {
  exitBtn_->move(exitBtn_->x(), top);
  UpdateScrollExtent();
}

ButtonId Form1Window::CreateLauncherButton(const ButtonDesign& design) {
  auto* button = new QPushButton(ToQString(design.caption), content_);
  button->setObjectName(QStringLiteral("LauncherButton%1").arg(design.tag));
  button->setGeometry(design.left, design.top, design.width, design.height);
  button->setAutoDefault(false);
  QWidget::setTabOrder(LastInTabOrder(), button);
  const int tag = design.tag;
  QObject::connect(button, &QPushButton::clicked, button, [this, tag] {
    GuardedCall(reportFailure_, [this, tag] { events_.AssignProg(tag); });
  });
  button->show();

  const ButtonId id = ++lastButtonId_;
  launcherButtons_.emplace(id, button);
  AddToExtent(button->geometry());
  UpdateScrollExtent();
  return id;
}

void Form1Window::DestroyLauncherButton(ButtonId id) {
  const auto found = launcherButtons_.find(id);
  if (found == launcherButtons_.end()) return;
  QPushButton* button = found->second;
  launcherButtons_.erase(found);
  RemoveFromExtent(button->geometry());
  // Later, not now: the button may be the sender of the click being handled.
  button->hide();
  button->deleteLater();
  UpdateScrollExtent();
}

void Form1Window::Close() { close(); }

QPushButton* Form1Window::LauncherButton(ButtonId id) const {
  const auto found = launcherButtons_.find(id);
  return found == launcherButtons_.end() ? nullptr : found->second;
}

void Form1Window::closeEvent(QCloseEvent* event) {
  closed_ = true;
  event->accept();
  // The main window's closing ends the program, whichever way it closed.
  QCoreApplication::quit();
}

void Form1Window::UpdateScrollExtent() {
  QRect extent;
  for (const QWidget* control : {static_cast<QWidget*>(image1_), static_cast<QWidget*>(image2_),
                                 static_cast<QWidget*>(label1_), static_cast<QWidget*>(exitBtn_)}) {
    if (control) extent = extent.united(control->geometry());
  }
  int right = extent.x() + extent.width();
  int bottom = extent.y() + extent.height();
  if (!launcherRights_.empty()) right = std::max(right, *launcherRights_.rbegin());
  if (!launcherBottoms_.empty()) bottom = std::max(bottom, *launcherBottoms_.rbegin());
  content_->setMinimumSize(right, bottom);
}

// An empty rectangle adds nothing to a union, so it is not counted.
void Form1Window::AddToExtent(const QRect& geometry) {
  if (geometry.isEmpty()) return;
  launcherRights_.insert(geometry.x() + geometry.width());
  launcherBottoms_.insert(geometry.y() + geometry.height());
}

void Form1Window::RemoveFromExtent(const QRect& geometry) {
  if (geometry.isEmpty()) return;
  if (const auto right = launcherRights_.find(geometry.x() + geometry.width());
      right != launcherRights_.end()) {
    launcherRights_.erase(right);
  }
  if (const auto bottom = launcherBottoms_.find(geometry.y() + geometry.height());
      bottom != launcherBottoms_.end()) {
    launcherBottoms_.erase(bottom);
  }
}

QWidget* Form1Window::LastInTabOrder() const {
  if (launcherButtons_.empty()) return exitBtn_;
  return launcherButtons_.rbegin()->second;
}

}  // namespace kestrune::qt
