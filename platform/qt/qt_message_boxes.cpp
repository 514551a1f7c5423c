#include "platform/qt/qt_message_boxes.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>

#include <utility>
#include <vector>

#include "platform/qt/qt_text.h"

namespace kestrune::qt {

namespace {

struct ButtonChoice {
  QMessageBox::StandardButton which;
  const char* text;
};

// A QMessageBox made to behave as Windows' MessageBox does.
class ProgramMessageBox final : public QMessageBox {
 public:
  ProgramMessageBox(Icon icon, const std::string& title, const std::string& text,
                    std::vector<ButtonChoice> buttons)
      : QMessageBox(icon, ToQString(title), QString()), choices_(std::move(buttons)) {
    setTextFormat(Qt::PlainText);
    setText(WithLineBreaks(text));
    setWindowModality(Qt::ApplicationModal);
    for (const ButtonChoice& choice : choices_) {
      QPushButton* button = addButton(choice.which);
      button->setText(QString::fromLatin1(choice.text));
      // Windows' boxes have plain text buttons; some Qt styles add icons.
      button->setIcon(QIcon());
    }
  }

 protected:
  // Qt places a parentless dialog at the screen's centre less a frame size
  // it guesses (10 x 40 when no window manager told it one); this puts the
  // box's centre on the screen's centre.
  void showEvent(QShowEvent* event) override {
    QMessageBox::showEvent(event);
    if (event->spontaneous() || !screen()) return;
    const QRect area = screen()->availableGeometry();
    move(pos() + (area.center() - frameGeometry().center()));
  }

  // Ctrl+C copies the box as text, laid out as Windows copies its boxes
  // (Qt does this on Windows only); support staff ask users for exactly this.
  void keyPressEvent(QKeyEvent* event) override {
    if (!event->matches(QKeySequence::Copy)) {
      QMessageBox::keyPressEvent(event);
      return;
    }
    const QString rule = QStringLiteral("---------------------------\n");
    QString copy = rule + windowTitle() + u'\n' + rule + text() + u'\n' + rule;
    for (const ButtonChoice& choice : choices_) {
      copy += QString::fromLatin1(choice.text).remove(u'&') + QStringLiteral("   ");
    }
    copy += u'\n' + rule;
    QGuiApplication::clipboard()->setText(copy);
    event->accept();
  }

 private:
  std::vector<ButtonChoice> choices_;
};

int Show(QMessageBox::Icon icon, const std::string& title, const std::string& text,
         std::vector<ButtonChoice> buttons) {
  const QMessageBox::StandardButton first = buttons.front().which;
  ProgramMessageBox box(icon, title, text, std::move(buttons));
  box.setDefaultButton(first);
  return box.exec();
}

}  // namespace

bool AskYesNo(const std::string& title, const std::string& text) {
  // Yes is the default; Escape and the close box answer No, the only safe
  // reading (QMessageBox picks the No button for them).
  return Show(QMessageBox::Question, title, text,
              {{QMessageBox::Yes, "&Yes"}, {QMessageBox::No, "&No"}}) == QMessageBox::Yes;
}

void ShowInformationBox(const std::string& title, const std::string& text) {
  Show(QMessageBox::Information, title, text, {{QMessageBox::Ok, "OK"}});
}

void ShowErrorBox(const std::string& title, const std::string& text) {
  Show(QMessageBox::Critical, title, text, {{QMessageBox::Ok, "OK"}});
}

}  // namespace kestrune::qt
