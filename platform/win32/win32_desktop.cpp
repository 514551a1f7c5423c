#include "platform/win32/win32_desktop.h"

#include "platform/win32/win32_windows.h"
#include <shellapi.h>

#include "app/texts.h"
#include "platform/win32/win32_text.h"

namespace kestrune::win32 {

int ShowMessageBox(const std::string& text, const std::string& title, UINT type) {
  return ::MessageBoxW(nullptr, Widen(text).c_str(), Widen(title).c_str(),
                       type | MB_TASKMODAL | MB_SETFOREGROUND);
}

void Win32Desktop::ShellOpen(const std::string& target) {
  // Fire and forget: the shell reports its own failures, if any.
  ::ShellExecuteW(state_.mainWindow, L"open", Widen(target).c_str(), nullptr, nullptr,
                  SW_SHOWNORMAL);
}

bool Win32Desktop::Confirm(const std::string& text) {
  return ShowMessageBox(text, texts::kConfirmTitle,
                        MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON1) == IDYES;
}

void Win32Desktop::ShowInformation(const std::string& text) {
  ShowMessageBox(text, texts::kInformationTitle, MB_OK | MB_ICONINFORMATION);
}

void Win32Desktop::ShowError(const std::string& text) {
  ShowMessageBox(text, state_.title, MB_OK | MB_ICONERROR);
}

void Win32Desktop::Terminate() {
  state_.endRequested = true;
  // During start-up there is no loop yet: Run sees the flag instead.
  if (state_.loopRunning) ::PostQuitMessage(0);
}

void Win32Desktop::Sleep(int milliseconds) {
  ::Sleep(milliseconds > 0 ? static_cast<DWORD>(milliseconds) : 0);
}

std::string Win32Desktop::OwnExecutablePath() {
  // Long paths: grow until the name fits, as the call truncates silently.
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return {};
    if (length < buffer.size()) {
      buffer.resize(length);
      return Narrow(buffer);
    }
    buffer.resize(buffer.size() * 2);
  }
}

std::string Win32Desktop::AnsiToUtf8(std::string_view ansi) { return win32::AnsiToUtf8(ansi); }

}  // namespace kestrune::win32
