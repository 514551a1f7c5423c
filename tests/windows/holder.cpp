// A running program holding a file, as an editor or a started tool does:
// opens the file named on its command line without letting anyone replace
// or delete it, writes "<file>.held" to say so, and lets go once that mark
// is removed (or after two minutes).
#include <windows.h>

#include <memory>
#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int) {
  const std::wstring path(commandLine);
  const HANDLE raw = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (raw == INVALID_HANDLE_VALUE) return 1;
  const std::unique_ptr<void, decltype(&::CloseHandle)> held(raw, &::CloseHandle);
  const std::wstring mark = path + L".held";
  const HANDLE markRaw = ::CreateFileW(mark.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL, nullptr);
  if (markRaw == INVALID_HANDLE_VALUE) return 1;
  ::CloseHandle(markRaw);
  for (int i = 0; i < 1200 && ::GetFileAttributesW(mark.c_str()) != INVALID_FILE_ATTRIBUTES; ++i) {
    ::Sleep(100);
  }
  return 0;
}
