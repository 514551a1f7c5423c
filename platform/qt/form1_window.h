// Form1: the launcher's main window. The fixed controls (Image1, Image2,
// Label1, ExitBtn) are built here from the designed layout; the launcher
// buttons come and go at the core's request. The controls sit on a content
// widget inside a scroll area, so scroll bars appear as on Windows when the
// window is smaller than what it holds.
#pragma once

#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QWidget>

#include <map>
#include <set>

#include "platform/qt/guarded_call.h"
#include "platform/qt/picture_control.h"
#include "platform/qt/window_look.h"
#include "platform/services.h"

namespace kestrune::qt {

class Form1Window final : public QWidget, public MainWindow {
 public:
  Form1Window(FormEvents& events, const WindowLook& look, FailureReporter reportFailure);

  void SetCaption(const std::string& text) override;
  void SetLabelText(const std::string& text) override;
  void SetImage2Hint(const std::string& text) override;
  void SetHintHidePause(int milliseconds) override;
  // Client-area height: the same numbers as Windows' outer height less its
  // frame, which is all the core's arithmetic (+40 a button) needs.
  int OuterHeight() const override;
  void SetOuterHeight(int height) override;
  // In the content widget's coordinates, so scrolling does not change it.
  int ExitButtonTop() const override;
  void SetExitButtonTop(int top) override;
  ButtonId CreateLauncherButton(const ButtonDesign& design) override;
  void DestroyLauncherButton(ButtonId id) override;
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
  QPushButton* LauncherButton(ButtonId id) const;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  // The scroll range: the extent of every control, as AutoScroll computes.
  void UpdateScrollExtent();
  void AddToExtent(const QRect& geometry);
  void RemoveFromExtent(const QRect& geometry);
  QWidget* LastInTabOrder() const;

  FormEvents& events_;
  FailureReporter reportFailure_;
  QScrollArea* scroll_ = nullptr;
  QWidget* content_ = nullptr;
  PictureControl* image1_ = nullptr;
  PictureControl* image2_ = nullptr;
  QLabel* label1_ = nullptr;
  QPushButton* exitBtn_ = nullptr;
  std::map<ButtonId, QPushButton*> launcherButtons_;
  // The launcher buttons' right and bottom edges, so the scroll range
  // follows each new or removed button without a walk over all of them.
  std::multiset<int> launcherRights_;
  std::multiset<int> launcherBottoms_;
  ButtonId lastButtonId_ = 0;
  bool closed_ = false;
};

}  // namespace kestrune::qt
