// The least a Win32 program does to put a window on the screen: the
// yardstick for the launcher's start-up time under Wine. Linked as the
// launcher is (static, -mwindows, -municode).
//
// With a number on its command line it first fills the hidden window with
// that many push buttons, made as the launcher makes its own (class, style,
// font, last in the tab order): the yardstick for a long manifest, which
// says what Wine itself takes for so many native windows.
#include <windows.h>

#include <cwchar>

namespace {

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR lpCmdLine, int show) {
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  windowClass.lpszClassName = L"BareWin32Window";
  if (!RegisterClassW(&windowClass)) return 1;
  HWND window = CreateWindowExW(0, windowClass.lpszClassName, L"Bare Win32 window",
                                WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 400, 300,
                                nullptr, nullptr, instance, nullptr);
  if (!window) return 1;

  const long buttons = std::wcstol(lpCmdLine, nullptr, 10);
  HFONT font = CreateFontW(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                           OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                           DEFAULT_PITCH | FF_DONTCARE, L"Tahoma");
  for (long i = 0; i < buttons; ++i) {
    HWND button = CreateWindowExW(0, L"BUTTON", L"Launcher button",
                                  WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 8,
                                  static_cast<int>(40 + i * 28), 240, 25, window,
                                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(1000 + i)),
                                  instance, nullptr);
    if (!button) return 1;
    SendMessageW(button, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    SetWindowPos(button, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }

  ShowWindow(window, show);
  UpdateWindow(window);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  if (font) DeleteObject(font);
  return static_cast<int>(message.wParam);
}
