// A program for the launcher to start, or a document's handler: beside its
// own file it writes probe_started_by.txt (the name of the program that
// started it, then its command line's arguments) and then probe_cwd.txt (the
// directory it was started in), so a test can tell which way a file was
// opened and where.
#include <windows.h>
#include <tlhelp32.h>

#include <memory>
#include <string>

namespace {

using Handle = std::unique_ptr<void, decltype(&::CloseHandle)>;

Handle Owned(HANDLE handle) {
  return Handle(handle == INVALID_HANDLE_VALUE ? nullptr : handle, &::CloseHandle);
}

std::string Utf8(const std::wstring& text) {
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), size,
                        nullptr, nullptr);
  return utf8;
}

// The executable name of this process's parent, or nothing.
std::wstring ParentName() {
  const Handle snapshot = Owned(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return {};
  const DWORD self = ::GetCurrentProcessId();
  DWORD parent = 0;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more;
       more = ::Process32NextW(snapshot.get(), &entry)) {
    if (entry.th32ProcessID == self) parent = entry.th32ParentProcessID;
  }
  for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more;
       more = ::Process32NextW(snapshot.get(), &entry)) {
    if (parent != 0 && entry.th32ProcessID == parent) return entry.szExeFile;
  }
  return {};
}

bool WriteBeside(const std::wstring& name, const std::string& text) {
  wchar_t self[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring target(self);
  target = target.substr(0, target.find_last_of(L'\\') + 1) + name;
  const Handle file = Owned(::CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr,
                                          CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  DWORD written = 0;
  return ::WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR arguments, int) {
  wchar_t directory[MAX_PATH] = {};
  const DWORD length = ::GetCurrentDirectoryW(MAX_PATH, directory);
  const bool written =
      WriteBeside(L"probe_started_by.txt", Utf8(ParentName() + L"\n" + arguments)) &&
      WriteBeside(L"probe_cwd.txt", Utf8(std::wstring(directory, length)));
  return written ? 0 : 1;
}
