#include "platform/win32/win32_system.h"

#include "platform/win32/win32_windows.h"

#include "platform/win32/win32_text.h"

namespace kestrune::win32 {

void Win32System::Sleep(int milliseconds) {
  ::Sleep(milliseconds > 0 ? static_cast<DWORD>(milliseconds) : 0);
}

std::string Win32System::OwnExecutablePath() {
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

std::string Win32System::AnsiToUtf8(std::string_view ansi) { return win32::AnsiToUtf8(ansi); }

}  // namespace kestrune::win32
