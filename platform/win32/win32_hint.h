// The help icon's hint: a tooltip on one control, multi-line, with the
// hide pause the core asks for. No other control has a tool, so no other
// control shows a hint.
#pragma once

#include "platform/win32/win32_windows.h"

#include <string>

#include "platform/win32/win32_handles.h"

namespace kestrune::win32 {

class ControlHint {
 public:
  // The tooltip is owned by owner and watches control.
  ControlHint(HWND owner, HWND control);

  void SetText(const std::string& text);
  void SetHidePause(int milliseconds);

 private:
  void AddOrUpdateTool();

  HWND control_;
  WindowHandle tooltip_;
  std::wstring text_;
  bool toolAdded_ = false;
};

}  // namespace kestrune::win32
