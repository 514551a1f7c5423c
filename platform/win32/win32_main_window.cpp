#include "platform/win32/win32_main_window.h"

#include <commctrl.h>

#include <exception>
#include <stdexcept>
#include <utility>

#include "app/texts.h"
#include "platform/io_error.h"
#include "platform/win32/win32_desktop.h"
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

// The window font's text height on this system: "Tahoma" at the designed
// 11 px for 96 dpi, scaled to the screen's dpi. The layout is designed for 13.
int SystemTextHeight() {
  const WindowDC screen(nullptr);
  if (!screen.get()) return layout::kDesignTextHeight;
  const int dpi = ::GetDeviceCaps(screen.get(), LOGPIXELSY);
  const FontHandle font(::CreateFontW(-::MulDiv(layout::kWindowFontPixels, dpi, 96), 0, 0, 0,
                                      FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                      OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                      DEFAULT_PITCH | FF_DONTCARE, L"Tahoma"));
  if (!font) return layout::kDesignTextHeight;
  const SelectedObject selected(screen.get(), font.get());
  TEXTMETRICW metrics{};
  if (!::GetTextMetricsW(screen.get(), &metrics)) return layout::kDesignTextHeight;
  return metrics.tmHeight;
}

FontHandle MakeTahoma(int pixels, int weight) {
  return FontHandle(::CreateFontW(-pixels, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                  OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                  DEFAULT_PITCH | FF_DONTCARE, L"Tahoma"));
}

HMENU ControlId(int id) { return reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)); }

}  // namespace

void Win32MainWindow::RegisterWindowClass(HINSTANCE instance) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = &Win32MainWindow::WindowProc;
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

Win32MainWindow::Win32MainWindow(HINSTANCE instance, AppState& state, FormEvents& events,
                                 bool ownsTaskbarButton)
    : instance_(instance),
      state_(state),
      events_(events),
      layout_(ScaleLayout(SystemTextHeight())),
      windowFont_(MakeTahoma(layout_.windowFontPixels, FW_NORMAL)),
      labelFont_(MakeTahoma(layout_.labelFontPixels, FW_BOLD)),
      logo_(LogoBitmap(kBackground)),
      helpIcon_(HelpIconBitmap(kBackground)),
      scroll_(kHorizontalScrollLine, layout::kVertScrollButtonSize),
      nextLauncherId_(kFirstLauncherId) {
  // The window procedure takes ownership of the handle at WM_NCCREATE, so
  // a failure inside creation still finds it owned.
  ::CreateWindowExW(ownsTaskbarButton ? WS_EX_APPWINDOW : 0, kWindowClass,
                    Widen(texts::kInitialCaption).c_str(), WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                    CW_USEDEFAULT, CW_USEDEFAULT, layout_.windowOuterWidth,
                    layout_.windowOuterHeight, nullptr, nullptr, instance, this);
  if (!window_) throw std::runtime_error("The main window cannot be created");
  state_.mainWindow = window_.get();

  // Creation order is tab order: ExitBtn is the first (and only) fixed tab stop.
  const DWORD picture = WS_CHILD | WS_VISIBLE | SS_OWNERDRAW | SS_NOTIFY;
  image1_ = CreateControl(WC_STATICW, L"", picture, layout_.image1, kImage1Id);
  exitBtn_ = CreateControl(WC_BUTTONW, Widen(texts::kExitCaption),
                           WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, layout_.exitBtn,
                           kExitBtnId);
  image2_ = CreateControl(WC_STATICW, L"", picture, layout_.image2, kImage2Id);
  label1_ = CreateControl(WC_STATICW, Widen(texts::kInitialLabel),
                          WS_CHILD | WS_VISIBLE | SS_LEFTNOWORDWRAP, layout_.label1, kLabel1Id);
  ::SendMessageW(label1_, WM_SETFONT, reinterpret_cast<WPARAM>(labelFont_.get()), FALSE);
  SizeLabelToText();
  hint_ = std::make_unique<ControlHint>(window_.get(), image2_);
  scroll_.Update(window_.get());
}

Win32MainWindow::~Win32MainWindow() { Destroy(); }

void Win32MainWindow::Destroy() noexcept {
  if (state_.mainWindow == window_.get()) state_.mainWindow = nullptr;
  hint_.reset();
  window_.reset();
}

void Win32MainWindow::Show(int showCommand) {
  ApplyHeldGeometry();
  ::ShowWindow(window_.get(), showCommand);
  scroll_.Flush(window_.get());
  ::UpdateWindow(window_.get());
}

HWND Win32MainWindow::CreateControl(const wchar_t* windowClass, const std::wstring& text,
                                    DWORD style, const Rect& bounds, int id) {
  HWND control = ::CreateWindowExW(0, windowClass, text.c_str(), style, bounds.left, bounds.top,
                                   bounds.width, bounds.height, window_.get(), ControlId(id),
                                   instance_, nullptr);
  if (!control) throw std::runtime_error("A control of the main window cannot be created");
  ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(windowFont_.get()), FALSE);
  return control;
}

RECT Win32MainWindow::ChildBounds(HWND child) const {
  RECT rect{};
  ::GetWindowRect(child, &rect);
  ::MapWindowPoints(HWND_DESKTOP, window_.get(), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

void Win32MainWindow::SizeLabelToText() {
  // Label1 sizes itself to its text, measured as the static draws it.
  const int length = ::GetWindowTextLengthW(label1_);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  ::GetWindowTextW(label1_, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(length));
  RECT extent{0, 0, 0, 0};
  {
    const WindowDC dc(label1_);
    const SelectedObject selected(dc.get(), labelFont_.get());
    ::DrawTextW(dc.get(), text.empty() ? L" " : text.c_str(), text.empty() ? 1 : length, &extent,
                DT_CALCRECT | DT_EXPANDTABS | DT_SINGLELINE);
  }
  const int width = text.empty() ? 0 : static_cast<int>(extent.right);
  ::SetWindowPos(label1_, nullptr, 0, 0, width, static_cast<int>(extent.bottom),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  ::InvalidateRect(window_.get(), nullptr, TRUE);
}

void Win32MainWindow::SetCaption(const std::string& text) {
  ::SetWindowTextW(window_.get(), Widen(text).c_str());
}

void Win32MainWindow::SetLabelText(const std::string& text) {
  ::SetWindowTextW(label1_, Widen(text).c_str());
  SizeLabelToText();
  scroll_.Update(window_.get());
}

void Win32MainWindow::SetImage2Hint(const std::string& text) { hint_->SetText(text); }

void Win32MainWindow::SetHintHidePause(int milliseconds) { hint_->SetHidePause(milliseconds); }

int Win32MainWindow::OuterHeight() const {
  if (heldOuterHeight_) return *heldOuterHeight_;
  RECT rect{};
  ::GetWindowRect(window_.get(), &rect);
  return static_cast<int>(rect.bottom - rect.top);
}

void Win32MainWindow::SetOuterHeight(int height) {
  if (!::IsWindowVisible(window_.get())) {
    heldOuterHeight_ = height;
    return;
  }
  ResizeToOuterHeight(height);
}

int Win32MainWindow::ExitButtonTop() const {
  if (heldExitTop_) return *heldExitTop_;
  return static_cast<int>(ChildBounds(exitBtn_).top);
}

void Win32MainWindow::SetExitButtonTop(int top) {
  if (!::IsWindowVisible(window_.get())) {
    heldExitTop_ = top;
    return;
  }
  MoveExitButtonTo(top);
}

void Win32MainWindow::ResizeToOuterHeight(int height) {
  RECT rect{};
  ::GetWindowRect(window_.get(), &rect);
  // The system may clamp the height to what the screen allows; ExitBtn
  // still moves on, and auto-scroll reaches it.
  ::SetWindowPos(window_.get(), nullptr, 0, 0, static_cast<int>(rect.right - rect.left), height,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32MainWindow::MoveExitButtonTo(int top) {
  const RECT bounds = ChildBounds(exitBtn_);
  ::SetWindowPos(exitBtn_, nullptr, static_cast<int>(bounds.left), top, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  scroll_.Update(window_.get());
}

void Win32MainWindow::ApplyHeldGeometry() {
  if (const std::optional<int> height = std::exchange(heldOuterHeight_, std::nullopt)) {
    ResizeToOuterHeight(*height);
  }
  if (const std::optional<int> top = std::exchange(heldExitTop_, std::nullopt)) {
    MoveExitButtonTo(*top);
  }
}

ButtonId Win32MainWindow::CreateLauncherButton(const ButtonDesign& design) {
  const int id = nextLauncherId_++;
  HWND button = CreateControl(WC_BUTTONW, Widen(design.caption),
                              WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON,
                              Rect{design.left, design.top, design.width, design.height}, id);
  // Last among the siblings is last in the tab order.
  ::SetWindowPos(button, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  launcherTags_[id] = design.tag;
  scroll_.Update(window_.get());
  return id;
}

void Win32MainWindow::DestroyLauncherButton(ButtonId id) {
  if (launcherTags_.erase(id) == 0) return;
  if (HWND button = ::GetDlgItem(window_.get(), id)) ::DestroyWindow(button);
  scroll_.Update(window_.get());
}

void Win32MainWindow::Close() {
  // Posted: the click handler that asks for it finishes before the window goes.
  ::PostMessageW(window_.get(), WM_CLOSE, 0, 0);
}

void Win32MainWindow::ReportFailure(const char* what) noexcept {
  try {
    ShowMessageBox(ErrorBoxText(what), state_.title, MB_OK | MB_ICONERROR);
  } catch (...) {
    // Nothing more can be said; the window carries on.
  }
}

LRESULT CALLBACK Win32MainWindow::WindowProc(HWND window, UINT message, WPARAM wParam,
                                             LPARAM lParam) noexcept {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<Win32MainWindow*>(
        reinterpret_cast<const CREATESTRUCTW*>(lParam)->lpCreateParams);
    self->window_.reset(window);
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<Win32MainWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!self) return ::DefWindowProcW(window, message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    // Gone already: nothing left for the owner to destroy.
    if (self->window_.get() == window) static_cast<void>(self->window_.release());
    return ::DefWindowProcW(window, message, wParam, lParam);
  }
  // No exception leaves a window procedure: it is reported here instead.
  try {
    return self->HandleMessage(message, wParam, lParam);
  } catch (const std::exception& error) {
    self->ReportFailure(error.what());
  } catch (...) {
    self->ReportFailure("Unexpected error");
  }
  return 0;
}

bool Win32MainWindow::HandleCommand(int id, int code) {
  if (id == kExitBtnId && code == BN_CLICKED) {
    events_.ExitBtnClick();
  } else if (id == kImage1Id && code == STN_CLICKED) {
    events_.Image1Click();
  } else if (id == kImage2Id && code == STN_CLICKED) {
    events_.Image2Click();
  } else if (const auto tag = launcherTags_.find(id);
             tag != launcherTags_.end() && code == BN_CLICKED) {
    events_.AssignProg(tag->second);
  } else {
    return false;
  }
  return true;
}

LRESULT Win32MainWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  HWND window = window_.get();
  switch (message) {
    case WM_COMMAND:
      if (HandleCommand(LOWORD(wParam), HIWORD(wParam))) return 0;
      break;
    case WM_DRAWITEM: {
      const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      if (item->CtlID == kImage1Id || item->CtlID == kImage2Id) {
        DrawPicture(item->hDC, item->rcItem, item->CtlID == kImage1Id ? logo_ : helpIcon_,
                    kBackground);
        return TRUE;
      }
      break;
    }
    case WM_CTLCOLORSTATIC:
      // Label1 shows grey text straight on the white window.
      if (reinterpret_cast<HWND>(lParam) == label1_) {
        const auto dc = reinterpret_cast<HDC>(wParam);
        ::SetTextColor(dc, RGB(layout::kLabelGrey, layout::kLabelGrey, layout::kLabelGrey));
        ::SetBkMode(dc, TRANSPARENT);
        return reinterpret_cast<LRESULT>(::GetStockObject(WHITE_BRUSH));
      }
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
    case WM_DESTROY:
      // Closing the main window ends the program.
      if (state_.loopRunning) ::PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace kestrune::win32
