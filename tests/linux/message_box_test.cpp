// The boxes as the user meets them: title, text, icon, buttons, the default
// answer and where they stand, read from the live box while it is up.
#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QDebug>
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "common/texts.h"
#include "platform/qt/qt_application.h"
#include "platform/qt/qt_desktop.h"

namespace kestrune {
namespace {

struct SeenBox {
  bool shown = false;
  bool exposed = false;
  QString title;
  QString text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QStringList buttons;
  QString defaultButton;
  bool centred = false;
  bool mainWindowVisible = false;
};

// Waits for the next box, notes what it shows, then answers it with answer.
void AnswerNextBox(SeenBox& seen, std::function<void(QMessageBox*)> answer) {
  auto* poll = new QTimer;
  QObject::connect(poll, &QTimer::timeout, poll, [&seen, answer, poll] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || !box->isVisible()) return;
    poll->stop();
    poll->deleteLater();
    seen.exposed = QTest::qWaitForWindowExposed(box);
    seen.shown = true;
    seen.title = box->windowTitle();
    seen.text = box->text();
    seen.icon = box->icon();
    for (QAbstractButton* button : box->buttons()) seen.buttons << button->text();
    seen.buttons.sort();
    if (box->defaultButton()) seen.defaultButton = box->defaultButton()->text();
    const QRect screen = box->screen()->availableGeometry();
    const QPoint offset = box->frameGeometry().center() - screen.center();
    seen.centred = offset.manhattanLength() <= 2;
    if (!seen.centred) {
      qWarning() << "box" << box->frameGeometry() << box->geometry() << "screen" << screen;
    }
    answer(box);
  });
  poll->start(20);
}

void Press(QMessageBox* box, Qt::Key key) { QTest::keyClick(box, key); }

class MessageBoxes : public ::testing::Test {
 protected:
  qt::QtApplication application_;
  qt::QtDesktop desktop_{application_};
  SeenBox seen_;
};

TEST_F(MessageBoxes, ConfirmAsksWithYesAsTheDefault) {
  AnswerNextBox(seen_, [](QMessageBox* box) { Press(box, Qt::Key_Return); });
  EXPECT_TRUE(desktop_.Confirm(texts::kDownloadQuestion));
  ASSERT_TRUE(seen_.shown);
  EXPECT_TRUE(seen_.exposed);
  EXPECT_EQ(seen_.title, QStringLiteral("Confirm"));
  EXPECT_EQ(seen_.text, QString(texts::kDownloadQuestion));
  EXPECT_EQ(seen_.icon, QMessageBox::Question);
  EXPECT_EQ(seen_.buttons, (QStringList{"&No", "&Yes"}));
  EXPECT_EQ(seen_.defaultButton, QStringLiteral("&Yes"));
  EXPECT_TRUE(seen_.centred);
}

TEST_F(MessageBoxes, ConfirmIsTrueOnlyForYes) {
  AnswerNextBox(seen_, [](QMessageBox* box) { QTest::keyClick(box, Qt::Key_N, Qt::AltModifier); });
  EXPECT_FALSE(desktop_.Confirm("Allow?"));
  AnswerNextBox(seen_, [](QMessageBox* box) { Press(box, Qt::Key_Escape); });
  EXPECT_FALSE(desktop_.Confirm("Allow?"));
  AnswerNextBox(seen_, [](QMessageBox* box) {
    QTest::mouseClick(box->button(QMessageBox::Yes), Qt::LeftButton);
  });
  EXPECT_TRUE(desktop_.Confirm("Allow?"));
}

TEST_F(MessageBoxes, InformationHasItsTitleIconAndOneOk) {
  AnswerNextBox(seen_, [](QMessageBox* box) { Press(box, Qt::Key_Return); });
  desktop_.ShowInformation(texts::kRefusedProblem);
  ASSERT_TRUE(seen_.shown);
  EXPECT_TRUE(seen_.exposed);
  EXPECT_EQ(seen_.title, QStringLiteral("Information"));
  EXPECT_EQ(seen_.text, QString(texts::kRefusedProblem));
  EXPECT_EQ(seen_.icon, QMessageBox::Information);
  EXPECT_EQ(seen_.buttons, QStringList{"OK"});
  EXPECT_TRUE(seen_.centred);
}

TEST_F(MessageBoxes, ErrorIsTitledWithTheApplicationTitle) {
  application_.SetTitle(texts::kApplicationTitle);
  AnswerNextBox(seen_, [](QMessageBox* box) { Press(box, Qt::Key_Return); });
  desktop_.ShowError("File access denied.\rSecond line <b>not bold</b>");
  ASSERT_TRUE(seen_.shown);
  EXPECT_TRUE(seen_.exposed);
  EXPECT_EQ(seen_.title, QStringLiteral("Kestrune"));
  EXPECT_EQ(seen_.text, QStringLiteral("File access denied.\nSecond line <b>not bold</b>"));
  EXPECT_EQ(seen_.icon, QMessageBox::Critical);
  EXPECT_EQ(seen_.buttons, QStringList{"OK"});
}

}  // namespace
}  // namespace kestrune
