// Stands in for Windows' icacls.exe in the installer's tests (Wine's own
// changes nothing and tells nothing): appends its command line, in UTF-8,
// as one line to the file that KESTRUNE_ICACLS_LOG names, and succeeds, or
// fails as on a drive that keeps no rights when KESTRUNE_ICACLS_FAILS is set.
#include <windows.h>

#include <cstdio>
#include <string>

int wmain() {
  wchar_t log[MAX_PATH] = {};
  const DWORD length = ::GetEnvironmentVariableW(L"KESTRUNE_ICACLS_LOG", log, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return 2;
  const wchar_t* line = ::GetCommandLineW();
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, line, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return 2;
  std::string text(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, line, -1, text.data(), size, nullptr, nullptr);
  text.back() = '\n';  // in place of the terminating zero
  FILE* file = _wfopen(log, L"ab");
  if (!file) return 2;
  const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  if (std::fclose(file) != 0 || !written) return 2;
  return ::GetEnvironmentVariableW(L"KESTRUNE_ICACLS_FAILS", nullptr, 0) == 0 ? 0 : 1;
}
