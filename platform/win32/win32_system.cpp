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

std::string Win32System::ProgramExtensions() {
  // The machine's own value: a process's environment is its user's to set.
  constexpr wchar_t kKey[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
  constexpr DWORD kTypes = RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND;
  DWORD bytes = 0;
  if (::RegGetValueW(HKEY_LOCAL_MACHINE, kKey, L"PATHEXT", kTypes, nullptr, nullptr, &bytes) ==
          ERROR_SUCCESS &&
      bytes > sizeof(wchar_t)) {
    std::wstring value(bytes / sizeof(wchar_t), L'\0');
    if (::RegGetValueW(HKEY_LOCAL_MACHINE, kKey, L"PATHEXT", kTypes, nullptr, value.data(),
                       &bytes) == ERROR_SUCCESS) {
      value.resize(::wcsnlen(value.c_str(), value.size()));
      return Narrow(value);
    }
  }
  // NOTE: Windows' default PATHEXT, for a system that keeps none.
  return ".COM;.EXE;.BAT;.CMD;.VBS;.VBE;.JS;.JSE;.WSF;.WSH;.MSC";
}

}  // namespace kestrune::win32
