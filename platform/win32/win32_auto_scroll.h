// Auto-scroll for a window holding child controls: scroll bars appear when
// the client area is smaller than the controls' extent, and scrolling moves
// the controls.
#pragma once

#include "platform/win32/win32_windows.h"

namespace kestrune::win32 {

class AutoScroll {
 public:
  AutoScroll(int horizontalLine, int verticalLine)
      : line_{horizontalLine, verticalLine} {}

  // Recomputes both ranges after a size change or a control's move; a bar
  // shows only while its range exceeds the client area.
  void Update(HWND window);
  // WM_HSCROLL / WM_VSCROLL on the window's own bars.
  void OnScroll(HWND window, int bar, WPARAM request);
  // WM_MOUSEWHEEL: the vertical bar, three lines a notch.
  void OnWheel(HWND window, int delta);

 private:
  void ScrollTo(HWND window, int bar, int position);

  int line_[2];
  int position_[2] = {0, 0};
  int wheelRemainder_ = 0;
  bool updating_ = false;
};

}  // namespace kestrune::win32
