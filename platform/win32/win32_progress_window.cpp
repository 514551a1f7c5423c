#include "platform/win32/win32_progress_window.h"

#include <commctrl.h>

#include "app/layout.h"
#include "common/texts.h"
#include "platform/win32/win32_form1_window.h"
#include "platform/win32/win32_text.h"

namespace kestrune::win32 {

namespace {

constexpr wchar_t kWindowClass[] = L"KestruneProgress";
constexpr int kCaptionId = 201;
constexpr int kCountId = 202;
constexpr int kBarId = 203;
constexpr UINT kMarqueeMilliseconds = 30;

void RegisterOnce(HINSTANCE instance, WNDPROC procedure) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  if (::GetClassInfoExW(instance, kWindowClass, &windowClass)) return;
  windowClass.lpfnWndProc = procedure;
  windowClass.hInstance = instance;
  windowClass.hIcon = static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON, 0,
                                                      0, LR_DEFAULTSIZE | LR_SHARED));
  windowClass.hCursor = static_cast<HCURSOR>(
      ::LoadImageW(nullptr, MAKEINTRESOURCEW(32512), IMAGE_CURSOR, 0, 0, LR_DEFAULTSIZE | LR_SHARED));
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = kWindowClass;
  ::RegisterClassExW(&windowClass);
}

}  // namespace

Win32ProgressWindow::Win32ProgressWindow(HINSTANCE instance) : instance_(instance) {}

Win32ProgressWindow::~Win32ProgressWindow() { Close(); }

void Win32ProgressWindow::Open() {
  RegisterOnce(instance_, &Win32ProgressWindow::WindowProc);
  const ScaledProgressLayout layout = ScaleProgressLayout(SystemTextHeight());
  if (!font_) font_ = MakeTahoma(layout.fontPixels, FW_NORMAL);
  // Centred on the screen, as the boxes are.
  RECT area{};
  ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  const int left = area.left + (area.right - area.left - layout.outerWidth) / 2;
  const int top = area.top + (area.bottom - area.top - layout.outerHeight) / 2;
  cancelled_ = false;
  moving_ = false;
  ::CreateWindowExW(WS_EX_APPWINDOW, kWindowClass, L"",
                    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN,
                    left, top, layout.outerWidth, layout.outerHeight, nullptr, nullptr, instance_,
                    this);
  if (!window_) return;
  const auto control = [this](const wchar_t* windowClass, const std::wstring& text, DWORD style,
                              const Rect& bounds, int id) {
    return CreateChildControl(window_.get(), instance_, windowClass, text,
                              WS_CHILD | WS_VISIBLE | style, bounds, id, font_.get());
  };
  // SS_NOPREFIX: an '&' in a caption is shown as it stands.
  caption_ = control(WC_STATICW, L"", SS_LEFTNOWORDWRAP | SS_NOPREFIX | SS_ENDELLIPSIS,
                     layout.caption, kCaptionId);
  count_ = control(WC_STATICW, L"", SS_LEFTNOWORDWRAP | SS_NOPREFIX, layout.count, kCountId);
  bar_ = control(PROGRESS_CLASSW, L"", 0, layout.bar, kBarId);
  ::SendMessageW(bar_, PBM_SETRANGE32, 0, kProgressSteps);
  cancel_ = control(WC_BUTTONW, Widen(texts::kProgressCancelCaption),
                    WS_TABSTOP | BS_DEFPUSHBUTTON, layout.cancel, IDCANCEL);
  ::ShowWindow(window_.get(), SW_SHOWNORMAL);
  ::SetForegroundWindow(window_.get());
  ::SetFocus(cancel_);
}

bool Win32ProgressWindow::Show(const ProgressView& view) {
  if (!window_) Open();
  if (!window_) return cancelled_;
  ::SetWindowTextW(window_.get(), Widen(view.title).c_str());
  ::SetWindowTextW(caption_, Widen(view.caption).c_str());
  ::SetWindowTextW(count_, Widen(view.count).c_str());
  const bool moving = !view.steps;
  if (moving != moving_) {
    LONG_PTR style = ::GetWindowLongPtrW(bar_, GWL_STYLE);
    style = moving ? (style | PBS_MARQUEE) : (style & ~static_cast<LONG_PTR>(PBS_MARQUEE));
    ::SetWindowLongPtrW(bar_, GWL_STYLE, style);
    ::SendMessageW(bar_, PBM_SETMARQUEE, moving ? TRUE : FALSE, kMarqueeMilliseconds);
    // NOTE: Wine's bar keeps painting its old fill after the style changes
    // until it is told the whole of it is stale.
    ::InvalidateRect(bar_, nullptr, TRUE);
    moving_ = moving;
  }
  if (view.steps) ::SendMessageW(bar_, PBM_SETPOS, static_cast<WPARAM>(*view.steps), 0);
  LetMessagesThrough();
  return cancelled_;
}

void Win32ProgressWindow::Close() {
  window_.reset();
  caption_ = count_ = bar_ = cancel_ = nullptr;
}

void Win32ProgressWindow::LetMessagesThrough() {
  MSG message{};
  while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      // Not ours to take: the main loop ends on it once start-up is over.
      ::PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    // Escape and Enter press Cancel, the window's one button.
    const bool ours = window_ && (message.hwnd == window_.get() ||
                                  ::IsChild(window_.get(), message.hwnd));
    if (ours && message.message == WM_KEYDOWN &&
        (message.wParam == VK_ESCAPE || message.wParam == VK_RETURN)) {
      cancelled_ = true;
      continue;
    }
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
}

LRESULT CALLBACK Win32ProgressWindow::WindowProc(HWND window, UINT message, WPARAM wParam,
                                                 LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<Win32ProgressWindow*>(
        reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    self->window_.reset(window);
  }
  auto* self = reinterpret_cast<Win32ProgressWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  switch (message) {
    case WM_COMMAND:
      if (self && LOWORD(wParam) == IDCANCEL) self->cancelled_ = true;
      return 0;
    case WM_CLOSE:
      // The close box is Cancel; the core closes the window once the
      // transfer has stopped.
      if (self) self->cancelled_ = true;
      return 0;
    case WM_NCDESTROY:
      ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      if (self) static_cast<void>(self->window_.release());
      break;
    default:
      break;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace kestrune::win32
