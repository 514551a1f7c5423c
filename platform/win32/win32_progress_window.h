// The downloads' progress window of a build with the maker's option: a
// top-level window with its own taskbar button holding the caption, the
// count, the common progress bar and Cancel, laid out by the core. Its
// messages are let through by Show, between a transfer's reads.
#pragma once

#include "platform/win32/win32_windows.h"

#include "common/progress_window.h"
#include "platform/win32/win32_handles.h"

namespace kestrune::win32 {

class Win32ProgressWindow final : public ProgressWindow {
 public:
  explicit Win32ProgressWindow(HINSTANCE instance);
  Win32ProgressWindow(const Win32ProgressWindow&) = delete;
  Win32ProgressWindow& operator=(const Win32ProgressWindow&) = delete;
  ~Win32ProgressWindow() override;

  bool Show(const ProgressView& view) override;
  void Close() override;

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void Open();
  void LetMessagesThrough();

  HINSTANCE instance_;
  FontHandle font_;
  WindowHandle window_;
  HWND caption_ = nullptr;
  HWND count_ = nullptr;
  HWND bar_ = nullptr;
  HWND cancel_ = nullptr;
  bool moving_ = false;  // the bar shows a length that is not known
  bool cancelled_ = false;
};

}  // namespace kestrune::win32
