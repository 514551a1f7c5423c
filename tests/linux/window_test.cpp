// Form1's window in-process on a real X display (Xvfb): what the user sees
// of it (geometry, fonts, colours, pictures, hint) and what reaches the
// form when they use it, none of which can be read from outside the process.
#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QHelpEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QToolTip>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/layout.h"
#include "app/picture/form_pictures.h"
#include "common/io_error.h"
#include "common/texts.h"
#include "platform/qt/qt_form1_window.h"
#include "platform/qt/qt_progress_window.h"
#include "platform/qt/qt_window_look.h"

namespace kestrune {
namespace {

using qt::QtForm1Window;

struct RecordingEvents final : FormEvents {
  void Image1Click() override { calls.push_back("Image1"); }
  void Image2Click() override { calls.push_back("Image2"); }
  void ExitBtnClick() override { calls.push_back("Exit"); }
  void AssignProg(int senderTag) override { calls.push_back("Prog" + std::to_string(senderTag)); }
  std::vector<std::string> calls;
};

using qt::ToQRect;

class Form1WindowTest : public ::testing::Test {
 protected:
  void Build(const qt::WindowLook& look) {
    look_ = look;
    window_ = std::make_unique<QtForm1Window>(events_, look_, pictures_,
                                              [this](const std::string& failure) {
                                                failures_.push_back(failure);
                                              });
  }
  void SetUp() override { Build(qt::MakeWindowLook()); }
  void ShowAndActivate() {
    window_->show();
    window_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
    ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
  }
  // A column of launcher buttons as the form lays it out, growing the
  // window and moving ExitBtn by growth.
  void LayOut(const std::vector<std::string>& captions, int growth = 0) {
    LauncherLayout column{{}, window_->OuterHeight() + growth, window_->ExitButtonTop() + growth};
    for (std::size_t i = 0; i < captions.size(); ++i) {
      const int index = static_cast<int>(i);
      column.buttons.push_back({layout::kButtonLeft,
                                layout::kFirstButtonTop + layout::kButtonPitch * index,
                                layout::kButtonWidth, layout::kButtonHeight, index, captions[i],
                                column.outerHeight});
    }
    window_->LayOutLauncherButtons(column);
  }
  QPushButton* Launcher(std::size_t index) const { return window_->LauncherButtons().at(index); }

  RecordingEvents events_;
  std::vector<std::string> failures_;
  const FormPictures pictures_ = DecodeFormPictures();
  qt::WindowLook look_;
  std::unique_ptr<QtForm1Window> window_;
};

TEST_F(Form1WindowTest, FixedControlsStandWhereTheDesignPutsThem) {
  const ScaledLayout designed = ScaleLayout(look_.textHeight);
  EXPECT_EQ(window_->size(), QSize(designed.windowOuterWidth - 16, designed.windowOuterHeight - 39));
  EXPECT_EQ(window_->Image1()->geometry(), ToQRect(designed.image1));
  EXPECT_EQ(window_->Image2()->geometry(), ToQRect(designed.image2));
  EXPECT_EQ(window_->ExitBtn()->geometry(), ToQRect(designed.exitBtn));
  EXPECT_EQ(window_->Label1()->pos(), QPoint(designed.label1.left, designed.label1.top));

  EXPECT_EQ(window_->windowTitle(), QString(texts::kInitialCaption));
  EXPECT_EQ(window_->Label1()->text(), QString(texts::kInitialLabel));
  EXPECT_EQ(window_->ExitBtn()->text(), QStringLiteral("Exit"));
  EXPECT_EQ(window_->OuterHeight(), designed.windowOuterHeight - 39);
  EXPECT_EQ(window_->ExitButtonTop(), designed.exitBtn.top);
}

// A later sibling draws over an earlier one: in the designed order, a long
// title overlaps Image2 and ExitBtn as it does on Windows.
TEST_F(Form1WindowTest, FixedControlsAreStackedInTheDesignedOrder) {
  const std::vector<QObject*> fixed{window_->Image1(), window_->ExitBtn(), window_->Image2(),
                                    window_->Label1()};
  std::vector<QObject*> stacking;
  for (QObject* child : window_->Content()->children()) {
    if (std::find(fixed.begin(), fixed.end(), child) != fixed.end()) stacking.push_back(child);
  }
  EXPECT_EQ(stacking, fixed);
}

TEST_F(Form1WindowTest, FontsAndColoursAreTheDesignedOnes) {
  // Tahoma is not on this machine; the nearest sans is.
  const QString expected = QFontDatabase::hasFamily("Tahoma") ? "Tahoma" : "DejaVu Sans";
  EXPECT_EQ(QFontInfo(window_->ExitBtn()->font()).family(), expected);
  EXPECT_EQ(window_->ExitBtn()->font().pixelSize(), look_.layout.windowFontPixels);

  const QFont label = window_->Label1()->font();
  EXPECT_EQ(QFontInfo(label).family(), expected);
  EXPECT_TRUE(label.bold());
  EXPECT_EQ(label.pixelSize(), look_.layout.labelFontPixels);
  EXPECT_EQ(window_->Label1()->palette().color(QPalette::WindowText), QColor(128, 128, 128));
  EXPECT_FALSE(window_->Label1()->autoFillBackground());

  ShowAndActivate();
  const QImage shot = window_->grab().toImage();
  // White window; the label's own text grey on it.
  EXPECT_EQ(QColor(shot.pixel(200, 100)), QColor(Qt::white));
  EXPECT_EQ(QColor(shot.pixel(window_->width() - 5, window_->height() - 5)), QColor(Qt::white));
  bool greyText = false;
  const QRect labelArea = window_->Label1()->geometry();
  for (int y = labelArea.top(); y <= labelArea.bottom() && !greyText; ++y) {
    for (int x = labelArea.left(); x <= labelArea.right() && !greyText; ++x) {
      greyText = QColor(shot.pixel(x, y)) == QColor(128, 128, 128);
    }
  }
  EXPECT_TRUE(greyText);
}

TEST_F(Form1WindowTest, LabelIsPlainTextSizedToItself) {
  window_->SetLabelText("<b>Tools & more</b>");
  EXPECT_EQ(window_->Label1()->text(), QStringLiteral("<b>Tools & more</b>"));
  const int shortWidth = window_->Label1()->width();
  EXPECT_EQ(window_->Label1()->size(), window_->Label1()->sizeHint());
  window_->SetLabelText("<b>Tools & more</b> and a good deal more besides");
  EXPECT_GT(window_->Label1()->width(), shortWidth);
  EXPECT_EQ(window_->Label1()->size(), window_->Label1()->sizeHint());
}

TEST_F(Form1WindowTest, PicturesAreDrawnUnstretchedAtTheTopLeftOfTheirControls) {
  const QImage& logo = window_->Image1()->Picture();
  const QImage& helpIcon = window_->Image2()->Picture();
  ASSERT_EQ(logo.size(), QSize(layout::kLogoSize, layout::kLogoSize));
  ASSERT_EQ(helpIcon.size(), QSize(layout::kHelpIconSize, layout::kHelpIconSize));
  ShowAndActivate();
  const QImage shot = window_->Content()->grab().toImage();
  const QPoint logoAt = window_->Image1()->pos();
  for (const QPoint p : {QPoint(0, 0), QPoint(38, 38), QPoint(76, 76), QPoint(10, 60)}) {
    EXPECT_EQ(QColor(shot.pixel(logoAt + p)), QColor(logo.pixel(p))) << p.x() << "," << p.y();
  }
  // The control is larger than the logo: the rest of it is the window's white.
  EXPECT_EQ(QColor(shot.pixel(logoAt + QPoint(79, 79))), QColor(Qt::white));

  // The help icon's alpha is blended over white.
  const QPoint iconAt = window_->Image2()->pos();
  int transparent = 0;
  int opaque = 0;
  for (int y = 0; y < helpIcon.height(); ++y) {
    for (int x = 0; x < helpIcon.width(); ++x) {
      const QColor source = helpIcon.pixelColor(x, y);
      const QColor drawn(shot.pixel(iconAt + QPoint(x, y)));
      const auto blend = [&](int channel) {
        return (channel * source.alpha() + 255 * (255 - source.alpha()) + 127) / 255;
      };
      EXPECT_NEAR(drawn.red(), blend(source.red()), 2);
      EXPECT_NEAR(drawn.blue(), blend(source.blue()), 2);
      transparent += source.alpha() == 0;
      opaque += source.alpha() == 255;
    }
  }
  EXPECT_GT(transparent, 0);
  EXPECT_GT(opaque, 0);
}

TEST_F(Form1WindowTest, HintShowsOnlyOverImage2ForTheHidePauseWithItsLineBreaks) {
  window_->SetImage2Hint(texts::kImage2Hint);
  window_->SetHintHidePause(texts::kHintHidePauseMs);
  ShowAndActivate();

  const auto hover = [](QWidget* widget) {
    QHelpEvent help(QEvent::ToolTip, QPoint(5, 5), widget->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(widget, &help);
    QTest::qWait(400);
  };
  hover(window_->Image2());
  ASSERT_TRUE(QToolTip::isVisible());
  EXPECT_EQ(QToolTip::text(),
            QStringLiteral("\n   Click here to open a Support Ticket with Tavimo   \n"));
  // The tip takes itself down when its expiry timer fires; left to Qt, a
  // text this short would go after 10 s.
  QWidget* tip = nullptr;
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (widget->objectName() == QStringLiteral("qtooltip_label") && widget->isVisible()) tip = widget;
  }
  ASSERT_NE(tip, nullptr);
  std::vector<int> intervals;
  for (const auto& timer : QAbstractEventDispatcher::instance()->registeredTimers(tip)) {
    intervals.push_back(timer.interval);
  }
  EXPECT_EQ(intervals, std::vector<int>{texts::kHintHidePauseMs});
  QToolTip::hideText();
  // Qt takes the tip down after a short fade-out delay.
  for (int i = 0; i < 40 && QToolTip::isVisible(); ++i) QTest::qWait(50);
  ASSERT_FALSE(QToolTip::isVisible());

  hover(window_->Image1());
  EXPECT_FALSE(QToolTip::isVisible());
  hover(window_->ExitBtn());
  EXPECT_FALSE(QToolTip::isVisible());
}

TEST_F(Form1WindowTest, ClicksReachTheFormWithTheButtonsTags) {
  LayOut({"First", "Second & third"});
  ShowAndActivate();
  QTest::mouseClick(window_->Image1(), Qt::LeftButton, {}, QPoint(40, 40));
  QTest::mouseClick(window_->Image2(), Qt::LeftButton, {}, QPoint(16, 16));
  QTest::mouseClick(window_->ExitBtn(), Qt::LeftButton);
  for (QPushButton* button : window_->LauncherButtons()) QTest::mouseClick(button, Qt::LeftButton);
  // Pressed on the picture but released elsewhere: no click.
  QTest::mousePress(window_->Image1(), Qt::LeftButton, {}, QPoint(40, 40));
  QTest::mouseRelease(window_->Image1(), Qt::LeftButton, {}, QPoint(200, 200));

  std::vector<std::string> expected{"Image1", "Image2", "Exit", "Prog0", "Prog1"};
  EXPECT_EQ(events_.calls, expected);
  EXPECT_TRUE(failures_.empty());
}

TEST_F(Form1WindowTest, TabOrderStartsAtExitThenTheLaunchersInLayoutOrder) {
  LayOut({"a", "b", "c"});
  ShowAndActivate();
  EXPECT_EQ(QApplication::focusWidget(), window_->ExitBtn());
  for (std::size_t i = 0; i < 3; ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), Launcher(i));
  }
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), window_->ExitBtn());
}

TEST_F(Form1WindowTest, EnterPressesTheFocusedButton) {
  LayOut({"a", "b"});
  ShowAndActivate();
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
  Launcher(1)->setFocus();
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Enter, Qt::KeypadModifier);
  EXPECT_EQ(events_.calls, (std::vector<std::string>{"Exit", "Prog1"}));
}

TEST_F(Form1WindowTest, GrowingForMoreButtonsAndScrollingWhenSmaller) {
  const int height = window_->OuterHeight();
  const int exitTop = window_->ExitButtonTop();
  LayOut({"Entry 0", "Entry 1", "Entry 2", "Entry 3", "Entry 4", "Entry 5", "Entry 6", "Entry 7"},
         120);
  ShowAndActivate();
  EXPECT_EQ(window_->height(), height + 120);
  EXPECT_EQ(window_->ExitBtn()->y(), exitTop + 120);
  // Launcher buttons are placed as asked, unscaled.
  EXPECT_EQ(Launcher(7)->geometry(), QRect(35, 400, 250, 25));
  EXPECT_EQ(Launcher(7)->text(), QStringLiteral("Entry 7"));
  EXPECT_FALSE(window_->ScrollArea()->verticalScrollBar()->isVisible());

  window_->resize(200, 150);
  QTest::qWait(50);
  QScrollBar* vertical = window_->ScrollArea()->verticalScrollBar();
  EXPECT_TRUE(vertical->isVisible());
  EXPECT_TRUE(window_->ScrollArea()->horizontalScrollBar()->isVisible());
  EXPECT_EQ(vertical->singleStep(), 10);
  // Everything can be scrolled into view, down to the moved Exit button.
  EXPECT_EQ(vertical->maximum() + window_->ScrollArea()->viewport()->height(),
            window_->ExitBtn()->geometry().bottom() + 1);
}

TEST_F(Form1WindowTest, ANewLayoutReplacesTheEarlierButtonsAndTheirScrollRange) {
  const QSize fixedOnly = window_->Content()->minimumSize();
  window_->LayOutLauncherButtons(
      {{{900, 2000, 200, 25, 0, "Far out", 0}, {10, 50, 100, 25, 1, "Near", 0}},
       window_->OuterHeight(),
       window_->ExitButtonTop()});
  EXPECT_EQ(window_->Content()->minimumSize(), QSize(1100, 2025));

  LayOut({"Only"});
  ASSERT_EQ(window_->LauncherButtons().size(), 1u);
  EXPECT_EQ(Launcher(0)->text(), QStringLiteral("Only"));
  EXPECT_EQ(window_->Content()->minimumSize(), fixedOnly);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(window_->Content()->findChildren<QPushButton*>().size(), 2);
}

TEST_F(Form1WindowTest, LargerWindowFontScalesTheFixedControlsButNotLaunchers) {
  Build(qt::MakeWindowLook(qt::WindowFontFamily(), 26));
  EXPECT_EQ(window_->size(), QSize(868 - 16, 786 - 39));
  EXPECT_EQ(window_->ExitBtn()->geometry(), QRect(594, 640, 178, 50));
  EXPECT_EQ(window_->Image2()->geometry(), QRect(754, 16, 66, 66));
  EXPECT_EQ(window_->ExitBtn()->font().pixelSize(), 22);
  EXPECT_EQ(window_->Label1()->font().pixelSize(), 42);
  // The pictures keep their own size.
  EXPECT_EQ(window_->Image1()->Picture().size(), QSize(77, 77));
  LayOut({"x"});
  EXPECT_EQ(Launcher(0)->geometry(), QRect(35, 120, 250, 25));
}

TEST_F(Form1WindowTest, FailureInAHandlerIsReportedNotThrownIntoQt) {
  struct ThrowingEvents final : FormEvents {
    void Image1Click() override { throw IoError(IoErrorKind::DiskFull, 28); }
    void Image2Click() override {}
    void ExitBtnClick() override { throw 42; }
    void AssignProg(int) override {}
  } throwing;
  QtForm1Window window(throwing, look_, pictures_,
                       [this](const std::string& f) { failures_.push_back(f); });
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  QTest::mouseClick(window.Image1(), Qt::LeftButton, {}, QPoint(10, 10));
  QTest::mouseClick(window.ExitBtn(), Qt::LeftButton);
  EXPECT_EQ(failures_, (std::vector<std::string>{"Disk full.", "Unexpected error."}));
}

// The downloads' progress window, as the core's views reach it.
QWidget* ProgressWidget() {
  for (QWidget* top : QApplication::topLevelWidgets()) {
    if (top->objectName() == QStringLiteral("Progress") && top->isVisible()) return top;
  }
  return nullptr;
}

TEST(ProgressWindow, ShowsTheViewWhereTheLayoutSaysAndEveryWayOfClosingItIsCancel) {
  qt::QtProgressWindow progress;
  ProgressView view{"Tools & More", "Big file", "file 1 of 2", 250};
  EXPECT_FALSE(progress.Show(view));
  QWidget* window = ProgressWidget();
  ASSERT_TRUE(window);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
  EXPECT_EQ(window->windowTitle(), QStringLiteral("Tools & More"));
  const ScaledProgressLayout layout = ScaleProgressLayout(qt::MakeWindowLook().textHeight);
  auto* caption = window->findChild<QLabel*>(QStringLiteral("ProgressCaption"));
  auto* count = window->findChild<QLabel*>(QStringLiteral("ProgressCount"));
  auto* bar = window->findChild<QProgressBar*>(QStringLiteral("ProgressBar"));
  auto* cancel = window->findChild<QPushButton*>(QStringLiteral("ProgressCancel"));
  ASSERT_TRUE(caption && count && bar && cancel);
  EXPECT_EQ(caption->text(), QStringLiteral("Big file"));
  EXPECT_EQ(count->text(), QStringLiteral("file 1 of 2"));
  EXPECT_EQ(bar->geometry(), ToQRect(layout.bar));
  EXPECT_EQ(cancel->geometry(), ToQRect(layout.cancel));
  EXPECT_EQ((std::pair{bar->value(), bar->maximum()}), (std::pair{250, kProgressSteps}));
  EXPECT_EQ(cancel->text(), QStringLiteral("Cancel"));
  EXPECT_TRUE(cancel->isDefault());
  view.steps.reset();
  EXPECT_FALSE(progress.Show(view));
  EXPECT_EQ(bar->maximum(), 0) << "a length that is not known: a busy bar";

  const std::vector<std::pair<const char*, std::function<void(QWidget*)>>> cancels = {
      {"Escape", [](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); }},
      {"Enter", [](QWidget* w) { QTest::keyClick(w, Qt::Key_Return); }},
      {"the close box", [](QWidget* w) { w->close(); }},
      {"the button",
       [](QWidget* w) {
         QTest::mouseClick(w->findChild<QPushButton*>(QStringLiteral("ProgressCancel")),
                           Qt::LeftButton);
       }},
  };
  for (const auto& [how, press] : cancels) {
    progress.Close();
    EXPECT_FALSE(ProgressWidget()) << how;
    EXPECT_FALSE(progress.Show(view)) << how << ": a window opened again starts uncancelled";
    window = ProgressWidget();
    ASSERT_TRUE(window && QTest::qWaitForWindowActive(window)) << how;
    press(window);
    EXPECT_TRUE(progress.Show(view)) << how;
  }
  progress.Close();
}

}  // namespace
}  // namespace kestrune
