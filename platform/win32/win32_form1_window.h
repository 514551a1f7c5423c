// Form1's native window: a top-level window with the designed controls
// (Image1, ExitBtn, Image2, Label1), the launcher buttons the core lays out,
// auto-scroll and the help icon's hint. Clicks go to the core's FormEvents.
#pragma once

#include "platform/win32/win32_windows.h"

#include <memory>
#include <string>
#include <vector>

#include "app/layout.h"
#include "app/main_window.h"
#include "platform/win32/win32_app_state.h"
#include "platform/win32/win32_auto_scroll.h"
#include "platform/win32/win32_handles.h"
#include "platform/win32/win32_hint.h"
#include "platform/win32/win32_picture.h"

namespace kestrune::win32 {

// The designed window font, "Tahoma" at pixels high.
FontHandle MakeTahoma(int pixels, int weight);
// The window font's text height on this system; the layout is designed for
// 13 and scales by it.
int SystemTextHeight();
// A visible child control of parent at bounds, in font; nothing when it
// cannot be made.
HWND CreateChildControl(HWND parent, HINSTANCE instance, const wchar_t* windowClass,
                        const std::wstring& text, DWORD style, const Rect& bounds, int id,
                        HFONT font);

class Win32Form1Window final : public MainWindow {
 public:
  // Registers the window class once per process.
  static void RegisterWindowClass(HINSTANCE instance);

  // Builds the window hidden, its controls laid out and the pictures in
  // them; throws std::runtime_error when the window cannot be created.
  Win32Form1Window(HINSTANCE instance, AppState& state, FormEvents& events,
                   const FormPictures& pictures, bool ownsTaskbarButton);
  Win32Form1Window(const Win32Form1Window&) = delete;
  Win32Form1Window& operator=(const Win32Form1Window&) = delete;
  ~Win32Form1Window() override;

  // Null once the window is gone.
  HWND Handle() const { return window_.get(); }
  void Show(int showCommand);
  // The keyboard of a dialog: Tab, Enter, Space. True when the message was
  // handled and goes no further.
  bool HandleDialogKey(MSG& message);
  // Ends the window, its controls and its hint; no event is delivered after.
  void Destroy() noexcept;

  void SetCaption(const std::string& text) override;
  void SetLabelText(const std::string& text) override;
  void SetImage2Hint(const std::string& text) override;
  void SetHintHidePause(int milliseconds) override;
  int OuterHeight() const override;
  int ExitButtonTop() const override;
  void LayOutLauncherButtons(const LauncherLayout& layout) override;
  void Close() override;

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam,
                                     LPARAM lParam) noexcept;
  LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  bool HandleCommand(HWND window, HWND control, int code);
  bool IsLauncherButton(HWND window, HWND control) const;
  LRESULT LabelColors(HDC dc) const;

  HWND CreateControl(const wchar_t* windowClass, const std::wstring& text, DWORD style,
                     const Rect& bounds, int id);
  void SizeLabelToText();
  RECT ChildBounds(HWND child) const;
  void DestroyLauncherButtons() noexcept;

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
  HWND focused_ = nullptr;

  // The hint goes first: the system would destroy it with its owner, and
  // its handle must not be destroyed twice.
  std::unique_ptr<ControlHint> hint_;
  WindowHandle window_;
  // The controls belong to the window, which destroys them with itself; a
  // new layout destroys the launcher buttons of the one before.
  HWND image1_ = nullptr;
  HWND exitBtn_ = nullptr;
  HWND image2_ = nullptr;
  HWND label1_ = nullptr;
  std::vector<HWND> launcherButtons_;
};

}  // namespace kestrune::win32
