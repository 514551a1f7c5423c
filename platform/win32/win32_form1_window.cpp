#include "platform/win32/win32_form1_window.h"

#include <commctrl.h>

#include <stdexcept>

#include "common/texts.h"
#include "platform/win32/win32_message_box.h"
#include "platform/win32/win32_system_library.h"
#include "platform/win32/win32_text.h"

namespace kestrune::win32 {

namespace {

constexpr wchar_t kWindowClass[] = L"TForm1";
constexpr COLORREF kBackground = RGB(255, 255, 255);
constexpr int kImage1Id = 101;
constexpr int kExitBtnId = 102;
constexpr int kImage2Id = 103;
constexpr int kLabel1Id = 104;
constexpr int kFirstLauncherId = 1000;
constexpr int kHorizontalScrollLine = 8;
constexpr DWORD kPushButtonStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON;

HMENU ControlId(int id) { return reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)); }

}  // namespace

FontHandle MakeTahoma(int pixels, int weight) {
  return FontHandle(::CreateFontW(-pixels, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                  OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                  DEFAULT_PITCH | FF_DONTCARE, L"Tahoma"));
}

// "Tahoma" at the designed 11 px for 96 dpi, scaled to the screen's dpi.
int SystemTextHeight() {
  const WindowDC screen(nullptr);
  if (!screen.Get()) return layout::kDesignTextHeight;
  const int dpi = ::GetDeviceCaps(screen.Get(), LOGPIXELSY);
  const FontHandle font = MakeTahoma(::MulDiv(layout::kWindowFontPixels, dpi, 96), FW_NORMAL);
  if (!font) return layout::kDesignTextHeight;
  const SelectedObject selected(screen.Get(), font.get());
  TEXTMETRICW metrics{};
  if (!::GetTextMetricsW(screen.Get(), &metrics)) return layout::kDesignTextHeight;
  return metrics.tmHeight;
}

void Win32Form1Window::RegisterWindowClass(HINSTANCE instance) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = &Win32Form1Window::WindowProc;
  windowClass.hInstance = instance;
  // Icon 1 of the program's resources; shared icons are never freed.
  windowClass.hIcon = static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON, 0,
                                                      0, LR_DEFAULTSIZE | LR_SHARED));
  windowClass.hIconSm = static_cast<HICON>(
      ::LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON, ::GetSystemMetrics(SM_CXSMICON),
                   ::GetSystemMetrics(SM_CYSMICON), LR_SHARED));
  windowClass.hCursor = static_cast<HCURSOR>(
      ::LoadImageW(nullptr, MAKEINTRESOURCEW(32512), IMAGE_CURSOR, 0, 0, LR_DEFAULTSIZE | LR_SHARED));
  windowClass.hbrBackground = static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH));
  windowClass.lpszClassName = kWindowClass;
  ::RegisterClassExW(&windowClass);
}

Win32Form1Window::Win32Form1Window(HINSTANCE instance, AppState& state, FormEvents& events,
                                   const FormPictures& pictures, bool ownsTaskbarButton)
    : instance_(instance),
      state_(state),
      events_(events),
      layout_(ScaleLayout(SystemTextHeight())),
      windowFont_(MakeTahoma(layout_.windowFontPixels, FW_NORMAL)),
      labelFont_(MakeTahoma(layout_.labelFontPixels, FW_BOLD)),
      logo_(BitmapOnBackground(pictures.logo, kBackground)),
      helpIcon_(BitmapOnBackground(pictures.helpIcon, kBackground)),
      scroll_(kHorizontalScrollLine, layout::kVertScrollButtonSize) {
  // The window procedure takes ownership of the handle at WM_NCCREATE, so
  // a failure inside creation still finds it owned.
  ::CreateWindowExW(ownsTaskbarButton ? WS_EX_APPWINDOW : 0, kWindowClass,
                    Widen(texts::kInitialCaption).c_str(), WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                    CW_USEDEFAULT, CW_USEDEFAULT, layout_.windowOuterWidth,
                    layout_.windowOuterHeight, nullptr, nullptr, instance, this);
  if (!window_) throw std::runtime_error("The main window cannot be created");
  state_.mainWindow = window_.get();

  try {
    // Creation order is tab order: ExitBtn is the first (and only) fixed tab
    // stop; every control made later goes after it.
    const DWORD picture = WS_CHILD | WS_VISIBLE | SS_OWNERDRAW | SS_NOTIFY;
    image1_ = CreateControl(WC_STATICW, L"", picture, layout_.image1, kImage1Id);
    exitBtn_ = CreateControl(WC_BUTTONW, Widen(texts::kExitCaption), kPushButtonStyle,
                             layout_.exitBtn, kExitBtnId);
    image2_ = CreateControl(WC_STATICW, L"", picture, layout_.image2, kImage2Id);
    // The title is the maker's text as it stands: an "&" in it is shown, not
    // taken for a keyboard accelerator.
    label1_ = CreateControl(WC_STATICW, Widen(texts::kInitialLabel),
                            WS_CHILD | WS_VISIBLE | SS_LEFTNOWORDWRAP | SS_NOPREFIX,
                            layout_.label1, kLabel1Id);
    ::SendMessageW(label1_, WM_SETFONT, reinterpret_cast<WPARAM>(labelFont_.get()), FALSE);
    SizeLabelToText();
    hint_ = std::make_unique<ControlHint>(window_.get(), image2_);
    scroll_.Update(window_.get());
  } catch (...) {
    // No destructor runs for a half-built object: the window goes while
    // everything its procedure reads is still there.
    Destroy();
    throw;
  }
}

Win32Form1Window::~Win32Form1Window() { Destroy(); }

void Win32Form1Window::Destroy() noexcept {
  hint_.reset();
  window_.reset();
  launcherButtons_.clear();
}

void Win32Form1Window::Show(int showCommand) {
  ::ShowWindow(window_.get(), showCommand);
  ::UpdateWindow(window_.get());
}

HWND CreateChildControl(HWND parent, HINSTANCE instance, const wchar_t* windowClass,
                        const std::wstring& text, DWORD style, const Rect& bounds, int id,
                        HFONT font) {
  HWND control = ::CreateWindowExW(0, windowClass, text.c_str(), style, bounds.left, bounds.top,
                                   bounds.width, bounds.height, parent, ControlId(id), instance,
                                   nullptr);
  if (control) ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  return control;
}

HWND Win32Form1Window::CreateControl(const wchar_t* windowClass, const std::wstring& text,
                                     DWORD style, const Rect& bounds, int id) {
  HWND control = CreateChildControl(window_.get(), instance_, windowClass, text, style, bounds, id,
                                    windowFont_.get());
  if (!control) throw std::runtime_error("A control of the main window cannot be created");
  return control;
}

RECT Win32Form1Window::ChildBounds(HWND child) const {
  RECT rect{};
  ::GetWindowRect(child, &rect);
  ::MapWindowPoints(HWND_DESKTOP, window_.get(), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

void Win32Form1Window::SizeLabelToText() {
  // Label1 sizes itself to its text, measured as the static draws it.
  const int length = ::GetWindowTextLengthW(label1_);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  ::GetWindowTextW(label1_, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(length));
  RECT extent{0, 0, 0, 0};
  {
    const WindowDC dc(label1_);
    const SelectedObject selected(dc.Get(), labelFont_.get());
    ::DrawTextW(dc.Get(), text.empty() ? L" " : text.c_str(), text.empty() ? 1 : length, &extent,
                DT_CALCRECT | DT_EXPANDTABS | DT_SINGLELINE | DT_NOPREFIX);
  }
  const int width = text.empty() ? 0 : static_cast<int>(extent.right);
  ::SetWindowPos(label1_, nullptr, 0, 0, width, static_cast<int>(extent.bottom),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  ::InvalidateRect(window_.get(), nullptr, TRUE);
}

void Win32Form1Window::SetCaption(const std::string& text) {
  ::SetWindowTextW(window_.get(), Widen(text).c_str());
}

void Win32Form1Window::SetLabelText(const std::string& text) {
  ::SetWindowTextW(label1_, Widen(text).c_str());
  SizeLabelToText();
  scroll_.Update(window_.get());
}

void Win32Form1Window::SetImage2Hint(const std::string& text) { hint_->SetText(text); }

void Win32Form1Window::SetHintHidePause(int milliseconds) { hint_->SetHidePause(milliseconds); }

int Win32Form1Window::OuterHeight() const {
  RECT rect{};
  ::GetWindowRect(window_.get(), &rect);
  return static_cast<int>(rect.bottom - rect.top);
}

int Win32Form1Window::ExitButtonTop() const {
  return static_cast<int>(ChildBounds(exitBtn_).top);
}

void Win32Form1Window::DestroyLauncherButtons() noexcept {
  for (HWND button : launcherButtons_) ::DestroyWindow(button);
  launcherButtons_.clear();
}

void Win32Form1Window::LayOutLauncherButtons(const LauncherLayout& layout) {
  HWND window = window_.get();
  DestroyLauncherButtons();
  launcherButtons_.reserve(layout.buttons.size());
  int id = kFirstLauncherId;
  for (const ButtonDesign& design : layout.buttons) {
    // A new child goes last among its siblings: entry order is tab order.
    HWND button = CreateControl(WC_BUTTONW, Widen(design.caption), kPushButtonStyle,
                                Rect{design.left, design.top, design.width, design.height}, id++);
    launcherButtons_.push_back(button);
    // The click finds its entry here, through the button itself.
    ::SetWindowLongPtrW(button, GWLP_USERDATA, static_cast<LONG_PTR>(design.tag));
  }

  const RECT exitBounds = ChildBounds(exitBtn_);
  ::SetWindowPos(exitBtn_, nullptr, static_cast<int>(exitBounds.left), layout.exitButtonTop, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  RECT before{};
  ::GetWindowRect(window, &before);
  // The system may clamp the height to what the screen allows; auto-scroll
  // reaches the rest.
  ::SetWindowPos(window, nullptr, 0, 0, static_cast<int>(before.right - before.left),
                 layout.outerHeight, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  RECT after{};
  ::GetWindowRect(window, &after);
  // A change of size has already brought the scroll ranges up to date, in
  // WM_SIZE; the walk over every control is not made twice.
  if (after.bottom - after.top == before.bottom - before.top) scroll_.Update(window);
}

void Win32Form1Window::Close() {
  // Posted: the click handler that asks for it finishes before the window goes.
  ::PostMessageW(window_.get(), WM_CLOSE, 0, 0);
}

LRESULT CALLBACK Win32Form1Window::WindowProc(HWND window, UINT message, WPARAM wParam,
                                              LPARAM lParam) noexcept {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<Win32Form1Window*>(
        reinterpret_cast<const CREATESTRUCTW*>(lParam)->lpCreateParams);
    self->window_.reset(window);
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<Win32Form1Window*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!self) return ::DefWindowProcW(window, message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    if (self->state_.mainWindow == window) self->state_.mainWindow = nullptr;
    // Gone already: nothing left for the owner to destroy.
    if (self->window_.get() == window) static_cast<void>(self->window_.release());
    // The message loop runs while the window lives. Destroyed inside a
    // message sent from another thread, which GetMessage handles without
    // returning, it would wait on: a message of no meaning wakes it.
    ::PostMessageW(nullptr, WM_NULL, 0, 0);
    return ::DefWindowProcW(window, message, wParam, lParam);
  }
  // The last-resort guard of this edge: nothing is thrown through the system.
  try {
    return self->HandleMessage(window, message, wParam, lParam);
  } catch (...) {
    ShowCurrentFailure(self->state_.title);
  }
  return 0;
}

bool Win32Form1Window::IsLauncherButton(HWND window, HWND control) const {
  return ::GetParent(control) == window && ::GetDlgCtrlID(control) >= kFirstLauncherId;
}

// Controls are told apart by their handles, never by the 16 bits of
// command id that WM_COMMAND carries: with enough launcher buttons, ids
// would repeat there.
bool Win32Form1Window::HandleCommand(HWND window, HWND control, int code) {
  if (control == exitBtn_) {
    if (code == BN_CLICKED) events_.ExitBtnClick();
  } else if (control == image1_) {
    if (code == STN_CLICKED) events_.Image1Click();
  } else if (control == image2_) {
    if (code == STN_CLICKED) events_.Image2Click();
  } else if (IsLauncherButton(window, control)) {
    if (code == BN_CLICKED) {
      events_.AssignProg(static_cast<int>(::GetWindowLongPtrW(control, GWLP_USERDATA)));
    }
  } else {
    return false;
  }
  return true;
}

bool Win32Form1Window::HandleDialogKey(MSG& message) {
  HWND window = window_.get();
  if (!window) return false;
  // Enter presses the push button that has the focus. IsDialogMessage
  // would press it only while it has the default-button style, which the
  // dialog manager moves on Tab alone, and would otherwise ask the window
  // for a default button id, 16 bits wide.
  if (message.message == WM_KEYDOWN && message.wParam == VK_RETURN) {
    HWND focus = ::GetFocus();
    if (focus && (focus == exitBtn_ || IsLauncherButton(window, focus))) {
      ::SendMessageW(window, WM_COMMAND,
                     MAKEWPARAM(static_cast<WORD>(::GetDlgCtrlID(focus)), BN_CLICKED),
                     reinterpret_cast<LPARAM>(focus));
      return true;
    }
  }
  // Tab and the arrow keys move between the controls, Space presses the
  // focused button.
  return ::IsDialogMessageW(window, &message) != FALSE;
}

LRESULT Win32Form1Window::LabelColors(HDC dc) const {
  ::SetTextColor(dc, RGB(layout::kLabelGrey, layout::kLabelGrey, layout::kLabelGrey));
  // With visual styles the grey text stands straight on the white window;
  // the classic look gives the label the system's grey-text colour behind it.
  if (AppThemed()) {
    ::SetBkMode(dc, TRANSPARENT);
    return reinterpret_cast<LRESULT>(::GetStockObject(WHITE_BRUSH));
  }
  ::SetBkColor(dc, ::GetSysColor(COLOR_GRAYTEXT));
  return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_GRAYTEXT));
}

LRESULT Win32Form1Window::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      if (lParam != 0 && HandleCommand(window, reinterpret_cast<HWND>(lParam), HIWORD(wParam))) {
        return 0;
      }
      break;
    case WM_DRAWITEM: {
      const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      if (item->hwndItem == image1_ || item->hwndItem == image2_) {
        DrawPicture(item->hDC, item->rcItem, item->hwndItem == image1_ ? logo_ : helpIcon_,
                    kBackground);
        return TRUE;
      }
      break;
    }
    case WM_CTLCOLORSTATIC:
      if (reinterpret_cast<HWND>(lParam) == label1_) return LabelColors(reinterpret_cast<HDC>(wParam));
      break;
    case WM_SIZE:
      if (wParam != SIZE_MINIMIZED) scroll_.Update(window);
      return 0;
    case WM_HSCROLL:
    case WM_VSCROLL:
      if (lParam == 0) {
        scroll_.OnScroll(window, message == WM_VSCROLL ? SB_VERT : SB_HORZ, wParam);
        return 0;
      }
      break;
    case WM_MOUSEWHEEL:
      scroll_.OnWheel(window, GET_WHEEL_DELTA_WPARAM(wParam));
      return 0;
    case WM_ACTIVATE:
      // Keyboard focus comes back to the control that had it, or to the
      // first tab stop.
      if (LOWORD(wParam) == WA_INACTIVE) {
        focused_ = ::GetFocus();
      } else {
        HWND target = focused_ && ::IsChild(window, focused_)
                          ? focused_
                          : ::GetNextDlgTabItem(window, nullptr, FALSE);
        if (target) ::SetFocus(target);
        return 0;
      }
      break;
    case WM_CLOSE:
      Destroy();
      return 0;
    default:
      break;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace kestrune::win32
