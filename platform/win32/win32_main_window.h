// Form1's native window: a top-level window with the designed controls
// (Image1, ExitBtn, Image2, Label1), the launcher buttons the core adds,
// auto-scroll and the help icon's hint. Clicks go to the core's FormEvents.
#pragma once

#include "platform/win32/win32_windows.h"

#include <map>
#include <memory>
#include <optional>
#include <string>

#include "app/layout.h"
#include "platform/services.h"
#include "platform/win32/win32_app_state.h"
#include "platform/win32/win32_auto_scroll.h"
#include "platform/win32/win32_handles.h"
#include "platform/win32/win32_hint.h"
#include "platform/win32/win32_picture.h"

namespace kestrune::win32 {

class Win32MainWindow final : public MainWindow {
 public:
  // Registers the window class once per process.
  static void RegisterWindowClass(HINSTANCE instance);

  // Builds the window hidden, its controls laid out; throws
  // std::runtime_error when the window cannot be created.
  Win32MainWindow(HINSTANCE instance, AppState& state, FormEvents& events, bool ownsTaskbarButton);
  Win32MainWindow(const Win32MainWindow&) = delete;
  Win32MainWindow& operator=(const Win32MainWindow&) = delete;
  ~Win32MainWindow() override;

  HWND handle() const { return window_.get(); }
  void Show(int showCommand);
  // Ends the window, its controls and its hint; no event is delivered after.
  void Destroy() noexcept;

  void SetCaption(const std::string& text) override;
  void SetLabelText(const std::string& text) override;
  void SetImage2Hint(const std::string& text) override;
  void SetHintHidePause(int milliseconds) override;
  int OuterHeight() const override;
  void SetOuterHeight(int height) override;
  int ExitButtonTop() const override;
  void SetExitButtonTop(int top) override;
  ButtonId CreateLauncherButton(const ButtonDesign& design) override;
  void DestroyLauncherButton(ButtonId id) override;
  void Close() override;

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam,
                                     LPARAM lParam) noexcept;
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  bool HandleCommand(int id, int code);
  void ReportFailure(const char* what) noexcept;

  HWND CreateControl(const wchar_t* windowClass, const std::wstring& text, DWORD style,
                     const Rect& bounds, int id);
  void SizeLabelToText();
  RECT ChildBounds(HWND child) const;
  void ResizeToOuterHeight(int height);
  void MoveExitButtonTo(int top);
  void ApplyHeldGeometry();

  HINSTANCE instance_;
  AppState& state_;
  FormEvents& events_;
  ScaledLayout layout_;
  // The fonts and pictures outlive the window that draws with them.
  FontHandle windowFont_;
  FontHandle labelFont_;
  PictureBitmap logo_;
  PictureBitmap helpIcon_;
  AutoScroll scroll_;
  std::map<int, int> launcherTags_;  // control id -> entry index
  int nextLauncherId_;
  HWND focused_ = nullptr;
  // Start-up grows the hidden window and moves ExitBtn once per launcher
  // button. Under Wine every resize of a top-level window reaches the X
  // server, so while hidden the wanted geometry is held here and applied
  // once, when the window is shown.
  std::optional<int> heldOuterHeight_;
  std::optional<int> heldExitTop_;

  // The hint goes first: the system would destroy it with its owner, and
  // its handle must not be destroyed twice.
  std::unique_ptr<ControlHint> hint_;
  WindowHandle window_;
  // The controls belong to the window, which destroys them with itself.
  HWND image1_ = nullptr;
  HWND exitBtn_ = nullptr;
  HWND image2_ = nullptr;
  HWND label1_ = nullptr;
};

}  // namespace kestrune::win32
