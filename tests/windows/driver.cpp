// The end-to-end tests' hands and eyes inside Wine: finds the launcher's
// windows and message boxes through Win32 itself, reports their texts and
// geometry as JSON on stdout, answers boxes and clicks controls.
//
//   driver watch EXE yes|no SECONDS   answer every box until the main window
//                                     shows or the process EXE ends
//   driver dump                       the main window, its controls and hints
//   driver click ID                   press the main window's button ID
//   driver close                      the close box (SC_CLOSE)
//   driver resize WIDTH HEIGHT        the main window's outer size
//   driver scroll v|h REQUEST         a scroll bar request (SB_LINEDOWN, ...)
#include <windows.h>
#include <commctrl.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "tests/windows/driver_json.h"

namespace {

using kestrune::e2e::JsonArray;
using kestrune::e2e::JsonObject;

struct HandleCloser {
  void operator()(HANDLE handle) const noexcept { ::CloseHandle(handle); }
};
using Handle = std::unique_ptr<void, HandleCloser>;

constexpr wchar_t kMainWindowClass[] = L"TForm1";
constexpr wchar_t kProgressWindowClass[] = L"KestruneProgress";
constexpr int kMessageBoxTextId = 0xFFFF;

std::string Narrow(const std::wstring& wide) {
  if (wide.empty()) return {};
  const int size = static_cast<int>(wide.size());
  const int needed = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr,
                                           nullptr);
  std::string narrow(static_cast<std::size_t>(needed), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, narrow.data(), needed, nullptr, nullptr);
  return narrow;
}

std::string WindowText(HWND window) {
  wchar_t text[2048] = {};
  ::GetWindowTextW(window, text, static_cast<int>(std::size(text)));
  return Narrow(text);
}

// Asks the window itself: works for controls whose text is not the caption
// the system keeps (tooltips).
std::string WindowTextByMessage(HWND window) {
  wchar_t text[2048] = {};
  DWORD_PTR ignored = 0;
  ::SendMessageTimeoutW(window, WM_GETTEXT, std::size(text), reinterpret_cast<LPARAM>(text),
                        SMTO_ABORTIFHUNG, 2000, &ignored);
  return Narrow(text);
}

std::string ClassName(HWND window) {
  wchar_t name[256] = {};
  ::GetClassNameW(window, name, static_cast<int>(std::size(name)));
  return Narrow(name);
}

LONG Style(HWND window) { return ::GetWindowLongW(window, GWL_STYLE); }
bool HasStyle(HWND window, LONG bits) { return (Style(window) & bits) == bits; }

std::string RectJson(const RECT& rect) {
  return JsonObject()
      .Number("left", rect.left)
      .Number("top", rect.top)
      .Number("width", rect.right - rect.left)
      .Number("height", rect.bottom - rect.top)
      .str();
}

RECT RectIn(HWND child, HWND parent) {
  RECT rect{};
  ::GetWindowRect(child, &rect);
  ::MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

std::vector<HWND> Children(HWND parent) {
  std::vector<HWND> children;
  for (HWND child = ::GetWindow(parent, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
    children.push_back(child);
  }
  return children;
}

// A named function, not a lambda: a 32-bit callback must be CALLBACK
// (stdcall), which a lambda's conversion to a function pointer is not.
BOOL CALLBACK CollectWindow(HWND window, LPARAM list) {
  reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
  return TRUE;
}

std::vector<HWND> TopLevelWindows() {
  std::vector<HWND> windows;
  ::EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&windows));
  return windows;
}

void Print(const std::string& json) {
  const std::string line = json + "\n";
  DWORD written = 0;
  ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), line.data(), static_cast<DWORD>(line.size()),
              &written, nullptr);
}

int Fail(const char* message) {
  Print(JsonObject().Text("error", message).str());
  return 2;
}

// ------------------------------------------------------------ main window

std::string ControlJson(HWND control, HWND main) {
  RECT screen{};
  ::GetWindowRect(control, &screen);
  return JsonObject()
      .Number("id", ::GetDlgCtrlID(control))
      .Text("class", ClassName(control))
      .Text("text", WindowText(control))
      .Raw("rect", RectJson(RectIn(control, main)))
      .Raw("screen", RectJson(screen))
      .Bool("visible", HasStyle(control, WS_VISIBLE))
      .Bool("tabstop", HasStyle(control, WS_TABSTOP))
      .Bool("default_button", (Style(control) & BS_TYPEMASK) == BS_DEFPUSHBUTTON &&
                                  ClassName(control) == "Button")
      .str();
}

std::string TooltipJson(HWND tip) {
  // Visibility first: a tip is sized and shown in one step, so a tip seen
  // visible already has its size, while a size read before the tip shows
  // would be the empty one of a hidden tip reported beside "visible".
  const bool visible = ::IsWindowVisible(tip) != FALSE;
  RECT rect{};
  ::GetWindowRect(tip, &rect);
  return JsonObject()
      .Number("tools", static_cast<long long>(::SendMessageW(tip, TTM_GETTOOLCOUNT, 0, 0)))
      .Number("autopop", static_cast<long long>(
                             ::SendMessageW(tip, TTM_GETDELAYTIME, TTDT_AUTOPOP, 0)))
      .Number("max_width", static_cast<long long>(::SendMessageW(tip, TTM_GETMAXTIPWIDTH, 0, 0)))
      .Bool("visible", visible)
      .Text("text", WindowTextByMessage(tip))
      .Raw("screen", RectJson(rect))
      .str();
}

// The screen's dpi and the text height of the window font the launcher
// scales its layout by (Tahoma, 11 px at 96 dpi), measured here on its own.
std::pair<int, int> DpiAndTextHeight() {
  HDC screen = ::GetDC(nullptr);
  const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
  HFONT font = ::CreateFontW(-::MulDiv(11, dpi, 96), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                             DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                             DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"Tahoma");
  HGDIOBJ previous = ::SelectObject(screen, font);
  TEXTMETRICW metrics{};
  ::GetTextMetricsW(screen, &metrics);
  ::SelectObject(screen, previous);
  ::DeleteObject(font);
  ::ReleaseDC(nullptr, screen);
  return {dpi, metrics.tmHeight};
}

std::string ColourJson(COLORREF colour) {
  JsonArray rgb;
  for (const BYTE part : {GetRValue(colour), GetGValue(colour), GetBValue(colour)}) {
    rgb.Add(std::to_string(part));
  }
  return rgb.str();
}

std::string MainWindowJson(HWND main) {
  RECT window{};
  RECT client{};
  ::GetWindowRect(main, &window);
  ::GetClientRect(main, &client);

  JsonArray controls;
  for (HWND child : Children(main)) controls.Add(ControlJson(child, main));

  JsonArray tabOrder;
  if (HWND first = ::GetNextDlgTabItem(main, nullptr, FALSE)) {
    HWND item = first;
    do {
      tabOrder.Add(std::to_string(::GetDlgCtrlID(item)));
      item = ::GetNextDlgTabItem(main, item, FALSE);
    } while (item && item != first);
  }

  GUITHREADINFO thread{};
  thread.cbSize = sizeof thread;
  int focusId = 0;
  if (::GetGUIThreadInfo(::GetWindowThreadProcessId(main, nullptr), &thread) &&
      thread.hwndFocus && ::IsChild(main, thread.hwndFocus)) {
    focusId = ::GetDlgCtrlID(thread.hwndFocus);
  }

  JsonArray tooltips;
  for (HWND top : TopLevelWindows()) {
    if (ClassName(top) == "tooltips_class32" && ::GetWindow(top, GW_OWNER) == main) {
      tooltips.Add(TooltipJson(top));
    }
  }

  const LONG exStyle = ::GetWindowLongW(main, GWL_EXSTYLE);
  const auto [dpi, textHeight] = DpiAndTextHeight();
  return JsonObject()
      .Text("title", WindowText(main))
      .Text("class", ClassName(main))
      .Bool("visible", ::IsWindowVisible(main) != FALSE)
      .Raw("window", RectJson(window))
      .Raw("client", RectJson(client))
      .Bool("vscroll", HasStyle(main, WS_VSCROLL))
      .Bool("hscroll", HasStyle(main, WS_HSCROLL))
      .Bool("overlapped_window", HasStyle(main, WS_OVERLAPPEDWINDOW))
      .Bool("app_window", (exStyle & WS_EX_APPWINDOW) != 0)
      .Bool("owned", ::GetWindow(main, GW_OWNER) != nullptr)
      .Number("screen_width", ::GetSystemMetrics(SM_CXSCREEN))
      .Number("screen_height", ::GetSystemMetrics(SM_CYSCREEN))
      .Number("dpi", dpi)
      .Number("text_height", textHeight)
      .Raw("gray_text", ColourJson(::GetSysColor(COLOR_GRAYTEXT)))
      .Raw("controls", controls.str())
      .Raw("tab_order", tabOrder.str())
      .Number("focus_id", focusId)
      .Raw("tooltips", tooltips.str())
      .str();
}

HWND MainWindow() { return ::FindWindowW(kMainWindowClass, nullptr); }

// The main window of process pid: with two launchers running, the other's
// window is not this one's.
HWND MainWindowOf(DWORD pid) {
  for (HWND w = nullptr; (w = ::FindWindowExW(nullptr, w, kMainWindowClass, nullptr)) != nullptr;) {
    DWORD owner = 0;
    ::GetWindowThreadProcessId(w, &owner);
    if (owner == pid) return w;
  }
  return nullptr;
}

// ------------------------------------------------------------ message boxes

bool IsMessageBox(HWND window) { return ClassName(window) == "#32770"; }

// A width x height, 32-bit, top-down bitmap selected into a memory DC.
class Canvas {
 public:
  Canvas(int width, int height) : width_(width), height_(height), dc_(::CreateCompatibleDC(nullptr)) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    bitmap_ = ::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    pixels_ = static_cast<const std::uint32_t*>(bits);
    previous_ = ::SelectObject(dc_, bitmap_);
  }
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;
  ~Canvas() {
    ::SelectObject(dc_, previous_);
    ::DeleteObject(bitmap_);
    ::DeleteDC(dc_);
  }
  HDC Context() const { return dc_; }
  std::uint32_t Pixel(int i) const {
    ::GdiFlush();
    return pixels_[i] & 0xFFFFFF;
  }
  void Fill(COLORREF colour) {
    RECT all{0, 0, width_, height_};
    ::SetDCBrushColor(dc_, colour);
    ::FillRect(dc_, &all, static_cast<HBRUSH>(::GetStockObject(DC_BRUSH)));
  }

 private:
  int width_;
  int height_;
  HDC dc_;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ previous_ = nullptr;
  const std::uint32_t* pixels_ = nullptr;
};

bool Near(std::uint32_t a, std::uint32_t b) {
  for (int shift = 0; shift < 24; shift += 8) {
    const int difference = static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
    if (difference > 8 || difference < -8) return false;
  }
  return true;
}

// Which of the system's box icons the icon control shows. Its icon handle
// belongs to the box's process and draws nothing here, so the control's
// pixels on the screen are set against each icon as this process draws
// it, over the pixels the icon covers whatever the background.
std::string IconName(HWND control) {
  RECT client{};
  ::GetClientRect(control, &client);
  POINT origin{0, 0};
  ::ClientToScreen(control, &origin);
  const int width = client.right;
  const int height = client.bottom;
  if (width <= 0 || height <= 0) return "";
  Canvas screen(width, height);
  {
    HDC desktop = ::GetDC(nullptr);
    ::BitBlt(screen.Context(), 0, 0, width, height, desktop, origin.x, origin.y, SRCCOPY);
    ::ReleaseDC(nullptr, desktop);
  }
  const struct {
    const wchar_t* id;
    const char* name;
  } icons[] = {{IDI_INFORMATION, "information"}, {IDI_ERROR, "error"},
               {IDI_QUESTION, "question"}, {IDI_WARNING, "warning"}};
  for (const auto& icon : icons) {
    HICON handle = ::LoadIconW(nullptr, icon.id);
    Canvas onBlack(width, height);
    Canvas onWhite(width, height);
    onBlack.Fill(RGB(0, 0, 0));
    onWhite.Fill(RGB(255, 255, 255));
    ::DrawIconEx(onBlack.Context(), 0, 0, handle, width, height, 0, nullptr, DI_NORMAL);
    ::DrawIconEx(onWhite.Context(), 0, 0, handle, width, height, 0, nullptr, DI_NORMAL);
    int covered = 0;
    int matching = 0;
    for (int i = 0; i < width * height; ++i) {
      if (onBlack.Pixel(i) != onWhite.Pixel(i)) continue;
      ++covered;
      if (Near(onBlack.Pixel(i), screen.Pixel(i))) ++matching;
    }
    if (covered > width * height / 4 && matching * 20 >= covered * 19) return icon.name;
  }
  return "";
}

// The box may not have painted its icon yet.
std::string PaintedIconName(HWND control) {
  std::string name;
  for (int attempt = 0; attempt < 20 && name.empty(); ++attempt) {
    if (attempt > 0) ::Sleep(100);
    name = IconName(control);
  }
  return name;
}

// The downloads' progress window of the program pid, when one is visible.
HWND ProgressWindowOf(DWORD pid) {
  for (HWND w = nullptr;
       (w = ::FindWindowExW(nullptr, w, kProgressWindowClass, nullptr)) != nullptr;) {
    DWORD owner = 0;
    ::GetWindowThreadProcessId(w, &owner);
    if (owner == pid && ::IsWindowVisible(w)) return w;
  }
  return nullptr;
}

// What it shows: its title, the two lines, the bar and the button.
JsonObject ProgressJson(HWND window) {
  JsonArray lines;
  JsonObject report;
  for (HWND child : Children(window)) {
    const std::string kind = ClassName(child);
    if (kind == "Static") lines.Add(kestrune::e2e::JsonString(WindowText(child)));
    if (kind == "msctls_progress32") {
      report.Number("position", static_cast<long long>(::SendMessageW(child, PBM_GETPOS, 0, 0)))
          .Bool("moving", HasStyle(child, PBS_MARQUEE));
    }
    if (kind == "Button") {
      GUITHREADINFO thread{};
      thread.cbSize = sizeof thread;
      const bool focused = ::GetGUIThreadInfo(::GetWindowThreadProcessId(window, nullptr), &thread) &&
                           thread.hwndFocus == child;
      report.Text("button", WindowText(child)).Bool("button_focused", focused);
    }
  }
  RECT client{};
  ::GetClientRect(window, &client);
  return report.Text("title", WindowText(window))
      .Raw("lines", lines.str())
      .Number("client_width", client.right)
      .Number("client_height", client.bottom)
      .Bool("taskbar", (::GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_APPWINDOW) != 0);
}

JsonObject BoxJson(HWND box) {
  std::string text;
  HWND icon = nullptr;
  JsonArray buttons;
  int defaultId = 0;
  for (HWND child : Children(box)) {
    const std::string kind = ClassName(child);
    if (!HasStyle(child, WS_VISIBLE)) continue;
    if (kind == "Static") {
      if ((Style(child) & SS_TYPEMASK) == SS_ICON) {
        if (::SendMessageW(child, STM_GETICON, 0, 0) != 0) icon = child;
      } else if (::GetDlgCtrlID(child) == kMessageBoxTextId || text.empty()) {
        text = WindowText(child);
      }
    } else if (kind == "Button") {
      const int id = ::GetDlgCtrlID(child);
      buttons.Add(JsonObject().Number("id", id).Text("text", WindowText(child)).str());
      if ((Style(child) & BS_TYPEMASK) == BS_DEFPUSHBUTTON) defaultId = id;
    }
  }
  RECT rect{};
  ::GetWindowRect(box, &rect);
  HWND main = MainWindow();
  DWORD pid = 0;
  ::GetWindowThreadProcessId(box, &pid);
  return JsonObject()
      .Text("title", WindowText(box))
      .Text("text", text)
      .Raw("buttons", buttons.str())
      .Number("default_id", defaultId)
      .Text("icon", icon ? PaintedIconName(icon) : "")
      .Bool("owned", ::GetWindow(box, GW_OWNER) != nullptr)
      .Raw("screen", RectJson(rect))
      .Bool("main_window_visible", main && ::IsWindowVisible(main))
      .Bool("progress_visible", ProgressWindowOf(pid) != nullptr);
}

// Answers a box as a click on one of its buttons would.
int Answer(HWND box, bool confirmYes) {
  int id = IDOK;
  if (::GetDlgItem(box, IDYES) && HasStyle(::GetDlgItem(box, IDYES), WS_VISIBLE)) {
    id = confirmYes ? IDYES : IDNO;
  }
  ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(::GetDlgItem(box, id)));
  return id;
}

Handle FindProcess(const std::wstring& exeName) {
  const HANDLE raw = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (raw == INVALID_HANDLE_VALUE) return nullptr;
  const Handle snapshot(raw);
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more;
       more = ::Process32NextW(snapshot.get(), &entry)) {
    if (::lstrcmpiW(entry.szExeFile, exeName.c_str()) == 0) {
      return Handle(::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                                  entry.th32ProcessID));
    }
  }
  return nullptr;
}

// Watches the program until its main window shows or it ends: answers its
// boxes (Confirm with Yes unless answer is "no"), and notes each different
// state of its progress window; with answer "cancel", presses Escape in that
// window once its bar has moved.
int Watch(const std::wstring& exeName, const std::wstring& answer, int seconds) {
  const bool confirmYes = answer != L"no";
  bool cancelled = false;
  JsonArray progress;
  std::string lastProgress;
  const ULONGLONG deadline = ::GetTickCount64() + static_cast<ULONGLONG>(seconds) * 1000;
  Handle process;
  while (!process && ::GetTickCount64() < deadline) {
    process = FindProcess(exeName);
    if (!process) ::Sleep(50);
  }
  if (!process) return Fail("the program never started");

  JsonArray boxes;
  std::set<HWND> answered;
  std::string mainWindow = "null";
  bool exited = false;
  DWORD exitCode = 0;
  const DWORD pid = ::GetProcessId(process.get());
  while (::GetTickCount64() < deadline) {
    for (HWND top : TopLevelWindows()) {
      DWORD owner = 0;
      ::GetWindowThreadProcessId(top, &owner);
      if (owner != pid || !::IsWindowVisible(top) || !IsMessageBox(top)) continue;
      if (answered.count(top) != 0) continue;
      ::Sleep(100);  // let the box finish laying itself out
      // Read before answering: the answer closes the box.
      JsonObject report = BoxJson(top);
      boxes.Add(report.Number("answered", Answer(top, confirmYes)).str());
      answered.insert(top);
    }
    if (HWND shown = ProgressWindowOf(pid)) {
      const JsonObject state = ProgressJson(shown);
      if (state.str() != lastProgress) {
        lastProgress = state.str();
        progress.Add(lastProgress);
      }
      if (answer == L"cancel" && !cancelled && lastProgress.find("\"position\":0,") ==
                                                   std::string::npos) {
        ::PostMessageW(::GetDlgItem(shown, IDCANCEL), WM_KEYDOWN, VK_ESCAPE, 0);
        cancelled = true;
      }
    }
    HWND main = MainWindowOf(pid);
    if (main && ::IsWindowVisible(main)) {
      ::Sleep(300);  // the first paint, for the screenshot that follows
      mainWindow = MainWindowJson(main);
      break;
    }
    if (::WaitForSingleObject(process.get(), 30) == WAIT_OBJECT_0) {
      exited = true;
      ::GetExitCodeProcess(process.get(), &exitCode);
      break;
    }
  }
  Print(JsonObject()
            .Raw("boxes", boxes.str())
            .Raw("main_window", mainWindow)
            .Raw("progress", progress.str())
            .Bool("progress_visible_at_end", ProgressWindowOf(pid) != nullptr)
            .Bool("exited", exited)
            .Number("exit_code", exitCode)
            .Bool("timed_out", !exited && mainWindow == "null")
            .str());
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::vector<std::wstring> args(argv + 1, argv + argc);
  if (args.empty()) return Fail("no command");
  const std::wstring& command = args[0];

  if (command == L"watch" && args.size() == 4) {
    return Watch(args[1], args[2], _wtoi(args[3].c_str()));
  }

  HWND main = MainWindow();
  if (!main) return Fail("no main window");
  if (command == L"dump") {
    Print(MainWindowJson(main));
    return 0;
  }
  if (command == L"click" && args.size() == 2) {
    HWND control = ::GetDlgItem(main, _wtoi(args[1].c_str()));
    if (!control) return Fail("no such control");
    ::PostMessageW(control, BM_CLICK, 0, 0);
  } else if (command == L"close") {
    ::PostMessageW(main, WM_SYSCOMMAND, SC_CLOSE, 0);
  } else if (command == L"resize" && args.size() == 3) {
    ::SetWindowPos(main, nullptr, 0, 0, _wtoi(args[1].c_str()), _wtoi(args[2].c_str()),
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  } else if (command == L"scroll" && args.size() == 3) {
    ::PostMessageW(main, args[1] == L"v" ? WM_VSCROLL : WM_HSCROLL,
                   static_cast<WPARAM>(_wtoi(args[2].c_str())), 0);
  } else {
    return Fail("unknown command");
  }
  Print(JsonObject().Bool("ok", true).str());
  return 0;
}
