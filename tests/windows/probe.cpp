// A program for the launcher to start: writes the directory it was started
// in to probe_cwd.txt beside its own file, so a test can tell where the
// launcher started it.
#include <windows.h>

#include <memory>
#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  wchar_t directory[MAX_PATH] = {};
  const DWORD length = ::GetCurrentDirectoryW(MAX_PATH, directory);
  wchar_t self[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring target(self);
  target = target.substr(0, target.find_last_of(L'\\') + 1) + L"probe_cwd.txt";

  const int size = ::WideCharToMultiByte(CP_UTF8, 0, directory, static_cast<int>(length), nullptr,
                                         0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, directory, static_cast<int>(length), utf8.data(), size,
                        nullptr, nullptr);
  const HANDLE raw = ::CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
  if (raw == INVALID_HANDLE_VALUE) return 1;
  const std::unique_ptr<void, decltype(&::CloseHandle)> file(raw, &::CloseHandle);
  DWORD written = 0;
  return ::WriteFile(file.get(), utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr)
             ? 0
             : 1;
}
