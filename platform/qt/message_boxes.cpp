#include "platform/qt/message_boxes.h"

#include <QAbstractButton>
#include <QIcon>
#include <QMessageBox>
#include <QScreen>
#include <QShowEvent>

#include "platform/qt/qt_text.h"

namespace kestrune::qt {

namespace {

// Qt places a parentless dialog at the screen's centre less a frame size it
// guesses (10 x 40 when it knows no window manager's frame); this puts the
// box's centre on the screen's centre, as Windows does.
class CentredMessageBox final : public QMessageBox {
 public:
  CentredMessageBox(Icon icon, StandardButtons buttons)
      : QMessageBox(icon, QString(), QString(), buttons) {}

 protected:
  void showEvent(QShowEvent* event) override {
    QMessageBox::showEvent(event);
    if (event->spontaneous() || !screen()) return;
    const QRect area = screen()->availableGeometry();
    move(pos() + (area.center() - frameGeometry().center()));
  }
};

void Prepare(QMessageBox& box, const std::string& title, const std::string& text) {
  box.setWindowTitle(ToQString(title));
  box.setTextFormat(Qt::PlainText);
  box.setText(WithLineBreaks(text));
  box.setWindowModality(Qt::ApplicationModal);
}

// Windows' boxes have plain text buttons; some Qt styles add icons.
void SetButtonText(QMessageBox& box, QMessageBox::StandardButton which, const char* text) {
  QAbstractButton* button = box.button(which);
  button->setText(QString::fromLatin1(text));
  button->setIcon(QIcon());
}

void ShowOkBox(QMessageBox::Icon icon, const std::string& title, const std::string& text) {
  CentredMessageBox box(icon, QMessageBox::Ok);
  Prepare(box, title, text);
  SetButtonText(box, QMessageBox::Ok, "OK");
  box.setDefaultButton(QMessageBox::Ok);
  box.exec();
}

}  // namespace

bool AskYesNo(const std::string& title, const std::string& text) {
  CentredMessageBox box(QMessageBox::Question, QMessageBox::Yes | QMessageBox::No);
  Prepare(box, title, text);
  SetButtonText(box, QMessageBox::Yes, "&Yes");
  SetButtonText(box, QMessageBox::No, "&No");
  box.setDefaultButton(QMessageBox::Yes);
  // Escape and the close box answer No, the only safe reading.
  box.setEscapeButton(QMessageBox::No);
  return box.exec() == QMessageBox::Yes;
}

void ShowInformationBox(const std::string& title, const std::string& text) {
  ShowOkBox(QMessageBox::Information, title, text);
}

void ShowErrorBox(const std::string& title, const std::string& text) {
  ShowOkBox(QMessageBox::Critical, title, text);
}

}  // namespace kestrune::qt
