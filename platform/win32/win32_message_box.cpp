#include "platform/win32/win32_message_box.h"

#include <string_view>

#include "common/failure.h"
#include "platform/win32/win32_handles.h"
#include "platform/win32/win32_text.h"

namespace kestrune::win32 {

namespace {

struct ButtonName {
  int id;
  const wchar_t* text;
};

constexpr ButtonName kButtonNames[] = {{IDYES, L"&Yes"}, {IDNO, L"&No"}, {IDOK, L"OK"}};

bool IsDialogBox(HWND window) {
  wchar_t name[16] = {};
  const int length = ::GetClassNameW(window, name, static_cast<int>(std::size(name)));
  return std::wstring_view(name, static_cast<std::size_t>(length > 0 ? length : 0)) == L"#32770";
}

// NOTE: MessageBoxW names its buttons in the language of the system (a
// German Windows says "&Ja" under the program's English question). The box
// is a dialog of the calling thread, so a hook on this thread sees it as it
// is activated, its buttons made, and renames them there.
LRESULT CALLBACK NameButtons(int code, WPARAM wParam, LPARAM lParam) noexcept {
  if (code == HCBT_ACTIVATE) {
    const auto box = reinterpret_cast<HWND>(wParam);
    if (IsDialogBox(box)) {
      for (const ButtonName& button : kButtonNames) {
        if (HWND control = ::GetDlgItem(box, button.id)) ::SetWindowTextW(control, button.text);
      }
    }
  }
  return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace

int ShowMessageBox(const std::string& text, const std::string& title, UINT type) {
  const std::wstring wideText = Widen(text);
  const std::wstring wideTitle = Widen(title);
  // Without the hook the box still shows, in the system's words.
  const HookHandle naming(::SetWindowsHookExW(WH_CBT, &NameButtons, nullptr,
                                              ::GetCurrentThreadId()));
  return ::MessageBoxW(nullptr, wideText.c_str(), wideTitle.c_str(),
                       type | MB_TASKMODAL | MB_SETFOREGROUND);
}

void ShowErrorBox(const std::string& text, const std::string& title) {
  ShowMessageBox(text, title, MB_OK | MB_ICONERROR);
}

void ShowCurrentFailure(const std::string& title) noexcept {
  try {
    ShowErrorBox(CurrentFailureBoxText(), title);
  } catch (...) {
    // Not even the box could be shown: nothing is left to tell.
  }
}

}  // namespace kestrune::win32
