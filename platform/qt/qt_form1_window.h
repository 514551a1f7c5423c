// Form1: the launcher's main window. The fixed controls (Image1, ExitBtn,
// Image2, Label1) are built here from the designed layout; the column of
// launcher buttons is laid out whole at the core's request. The controls
// sit on a content widget inside a scroll area, so scroll bars appear as on
// Windows when the window is smaller than what it holds.
#pragma once

#include <QLabel>
#include <QPushButton>
#include <QRect>
#include <QScrollArea>
#include <QWidget>

#include <vector>

#include "app/main_window.h"
#include "platform/qt/qt_guarded_call.h"
#include "platform/qt/qt_picture_control.h"
#include "platform/qt/qt_window_look.h"

namespace kestrune::qt {

class QtForm1Window final : public QWidget, public MainWindow {
 public:
  QtForm1Window(FormEvents& events, const WindowLook& look, const FormPictures& pictures,
                FailureReporter reportFailure);

  void SetCaption(const std::string& text) override;
  void SetLabelText(const std::string& text) override;
  void SetImage2Hint(const std::string& text) override;
  void SetHintHidePause(int milliseconds) override;
  // Client-area height: the same numbers as Windows' outer height less its
  // frame, which is all the core's arithmetic (+40 a button) needs.
  int OuterHeight() const override;
  // In the content widget's coordinates, so scrolling does not change it.
  int ExitButtonTop() const override;
  void LayOutLauncherButtons(const LauncherLayout& layout) override;
  void Close() override;

  // True once the window has been closed (by Exit, the close box or Close).
  bool WasClosed() const { return closed_; }

  // The controls, for tests that look at the window from inside.
  QScrollArea* ScrollArea() const { return scroll_; }
  QWidget* Content() const { return content_; }
  PictureControl* Image1() const { return image1_; }
  PictureControl* Image2() const { return image2_; }
  QLabel* Label1() const { return label1_; }
  QPushButton* ExitBtn() const { return exitBtn_; }
  // The current layout's buttons, in its order.
  const std::vector<QPushButton*>& LauncherButtons() const { return launcherButtons_; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  QPushButton* MakePushButton(const std::string& caption);
  // The scroll range: the extent of every control, as AutoScroll computes.
  void UpdateScrollExtent();

  FormEvents& events_;
  FailureReporter reportFailure_;
  QScrollArea* scroll_ = nullptr;
  QWidget* content_ = nullptr;
  PictureControl* image1_ = nullptr;
  QPushButton* exitBtn_ = nullptr;
  PictureControl* image2_ = nullptr;
  QLabel* label1_ = nullptr;
  std::vector<QPushButton*> launcherButtons_;
  // What the launcher buttons cover, worked out once per layout.
  QRect launcherExtent_;
  bool closed_ = false;
};

}  // namespace kestrune::qt
