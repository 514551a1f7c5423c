#include "platform/win32/win32_auto_scroll.h"

#include <algorithm>

namespace kestrune::win32 {

namespace {

int Index(int bar) { return bar == SB_VERT ? 1 : 0; }

// Right and bottom of the visible children, in unscrolled client coordinates.
SIZE ControlsExtent(HWND window, int scrolledX, int scrolledY) {
  SIZE extent{0, 0};
  for (HWND child = ::GetWindow(window, GW_CHILD); child;
       child = ::GetWindow(child, GW_HWNDNEXT)) {
    // The style, not IsWindowVisible: the window itself may still be hidden.
    if ((::GetWindowLongW(child, GWL_STYLE) & WS_VISIBLE) == 0) continue;
    RECT rect{};
    ::GetWindowRect(child, &rect);
    ::MapWindowPoints(HWND_DESKTOP, window, reinterpret_cast<POINT*>(&rect), 2);
    extent.cx = std::max(extent.cx, rect.right + scrolledX);
    extent.cy = std::max(extent.cy, rect.bottom + scrolledY);
  }
  return extent;
}

// Moves every child by (dx, dy) in one batch, then repaints the background.
void MoveChildren(HWND window, int dx, int dy) {
  if (dx == 0 && dy == 0) return;
  for (HWND child = ::GetWindow(window, GW_CHILD); child;
       child = ::GetWindow(child, GW_HWNDNEXT)) {
    RECT rect{};
    ::GetWindowRect(child, &rect);
    ::MapWindowPoints(HWND_DESKTOP, window, reinterpret_cast<POINT*>(&rect), 2);
    ::SetWindowPos(child, nullptr, rect.left + dx, rect.top + dy, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  ::InvalidateRect(window, nullptr, TRUE);
}

}  // namespace

void AutoScroll::Update(HWND window) {
  // Showing or hiding one bar resizes the client area and sends WM_SIZE,
  // which lands back here: the outer call finishes the job in a few passes.
  if (updating_) return;
  updating_ = true;
  // The extent is in unscrolled coordinates, so scrolling within the passes
  // leaves it as it is: one walk of the children does.
  const SIZE extent = ControlsExtent(window, position_[0], position_[1]);
  for (int pass = 0; pass < 3; ++pass) {
    RECT client{};
    ::GetClientRect(window, &client);
    const int pages[2] = {client.right, client.bottom};
    const int extents[2] = {extent.cx, extent.cy};
    for (const int bar : {SB_HORZ, SB_VERT}) {
      const int i = Index(bar);
      SCROLLINFO info{};
      info.cbSize = sizeof info;
      info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
      info.nMin = 0;
      info.nMax = std::max(extents[i] - 1, 0);
      info.nPage = static_cast<UINT>(std::max(pages[i], 0));
      const int maxPosition = std::max(extents[i] - pages[i], 0);
      info.nPos = std::min(position_[i], maxPosition);
      ::SetScrollInfo(window, bar, &info, TRUE);
      if (info.nPos != position_[i]) ScrollTo(window, bar, info.nPos);
    }
    // Another pass only when a bar came or went and changed the client area.
    RECT after{};
    ::GetClientRect(window, &after);
    if (after.right == client.right && after.bottom == client.bottom) break;
  }
  updating_ = false;
}

void AutoScroll::OnScroll(HWND window, int bar, WPARAM request) {
  SCROLLINFO info{};
  info.cbSize = sizeof info;
  info.fMask = SIF_ALL;
  if (!::GetScrollInfo(window, bar, &info)) return;
  const int page = static_cast<int>(info.nPage);
  int target = info.nPos;
  switch (LOWORD(request)) {
    case SB_LINEUP: target -= line_[Index(bar)]; break;
    case SB_LINEDOWN: target += line_[Index(bar)]; break;
    case SB_PAGEUP: target -= page; break;
    case SB_PAGEDOWN: target += page; break;
    case SB_TOP: target = info.nMin; break;
    case SB_BOTTOM: target = info.nMax; break;
    // Tracking follows the thumb as it moves: smooth scrolling.
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: target = info.nTrackPos; break;
    default: return;
  }
  const int maxPosition = std::max(info.nMax - page + 1, info.nMin);
  target = std::clamp(target, info.nMin, maxPosition);
  info.fMask = SIF_POS;
  info.nPos = target;
  ::SetScrollInfo(window, bar, &info, TRUE);
  ScrollTo(window, bar, target);
}

void AutoScroll::OnWheel(HWND window, int delta) {
  wheelRemainder_ += delta;
  const int notches = wheelRemainder_ / WHEEL_DELTA;
  wheelRemainder_ %= WHEEL_DELTA;
  for (int i = 0; i < 3 * (notches < 0 ? -notches : notches); ++i) {
    OnScroll(window, SB_VERT, notches > 0 ? SB_LINEUP : SB_LINEDOWN);
  }
}

void AutoScroll::ScrollTo(HWND window, int bar, int position) {
  const int i = Index(bar);
  const int delta = position_[i] - position;
  position_[i] = position;
  if (bar == SB_VERT) {
    MoveChildren(window, 0, delta);
  } else {
    MoveChildren(window, delta, 0);
  }
}

}  // namespace kestrune::win32
