#include "platform/win32/win32_hint.h"

#include <commctrl.h>

#include <algorithm>

#include "platform/win32/win32_text.h"

namespace kestrune::win32 {

namespace {

// Wide enough for any one line of a hint; only the line breaks in the text
// break it, never the width.
constexpr LPARAM kMaxTipWidth = 1000;
// The tooltip keeps its delays in 16 bits and treats them as signed.
constexpr int kMaxDelay = 32767;

}  // namespace

ControlHint::ControlHint(HWND owner, HWND control)
    : control_(control),
      tooltip_(::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                                 WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
                                 CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, owner, nullptr,
                                 ::GetModuleHandleW(nullptr), nullptr)) {
  if (!tooltip_) return;
  ::SendMessageW(tooltip_.get(), TTM_SETMAXTIPWIDTH, 0, kMaxTipWidth);
}

void ControlHint::SetText(const std::string& text) {
  // The core breaks lines with a lone carriage return; the tooltip breaks
  // them at CR LF.
  text_ = WithWindowsLineBreaks(Widen(text));
  AddOrUpdateTool();
}

void ControlHint::SetHidePause(int milliseconds) {
  if (!tooltip_) return;
  ::SendMessageW(tooltip_.get(), TTM_SETDELAYTIME, TTDT_AUTOPOP,
                 MAKELPARAM(static_cast<WORD>(std::clamp(milliseconds, 0, kMaxDelay)), 0));
}

void ControlHint::AddOrUpdateTool() {
  if (!tooltip_) return;
  TTTOOLINFOW tool{};
  tool.cbSize = sizeof tool;
  // The tooltip subclasses the control to see the mouse over it.
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = ::GetParent(control_);
  tool.uId = reinterpret_cast<UINT_PTR>(control_);
  tool.lpszText = text_.data();
  if (!toolAdded_) {
    toolAdded_ = ::SendMessageW(tooltip_.get(), TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool)) != 0;
  } else {
    ::SendMessageW(tooltip_.get(), TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
  }
}

}  // namespace kestrune::win32
