#include "platform/win32/win32_system_library.h"

#include <uxtheme.h>

#include <optional>
#include <string>

namespace kestrune::win32 {

namespace {

HMODULE LoadFromSystemFolder(const wchar_t* fileName) {
  if (HMODULE module = ::LoadLibraryExW(fileName, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) {
    return module;
  }
  // NOTE: Vista, and 7 without its 2011 loader update (KB2533623), refuse
  // the flag. There the DLL is named by its full path, and what it needs
  // itself is looked for in its own folder before the program's.
  if (::GetLastError() != ERROR_INVALID_PARAMETER) return nullptr;
  wchar_t folder[MAX_PATH];
  const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return nullptr;
  const std::wstring path = std::wstring(folder, length) + L'\\' + fileName;
  return ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace

void InternetHandleCloser::operator()(HINTERNET handle) const noexcept {
  // A handle exists only where WinINet was loaded.
  WinInet()->closeHandle(handle);
}

void LoadLaterDllsFromTheSystemFolderOnly() noexcept {
  // NOTE: SetDefaultDllDirectories came with Windows 8 and the same update
  // of 7; Vista lacks it, so it is looked up rather than imported.
  decltype(&::SetDefaultDllDirectories) setDefault = nullptr;
  if (const HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll")) {
    using Generic = void (*)();
    setDefault = reinterpret_cast<decltype(setDefault)>(
        reinterpret_cast<Generic>(::GetProcAddress(kernel, "SetDefaultDllDirectories")));
  }
  if (setDefault) setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

SystemLibrary::SystemLibrary(const wchar_t* fileName) : module_(LoadFromSystemFolder(fileName)) {}

const WinInetCalls* WinInet() {
  static const SystemLibrary library(L"wininet.dll");
  static const std::optional<WinInetCalls> calls = []() -> std::optional<WinInetCalls> {
    WinInetCalls found;
    const bool all = library.Find("InternetOpenW", found.open) &&
                     library.Find("InternetConnectW", found.connect) &&
                     library.Find("HttpOpenRequestW", found.openRequest) &&
                     library.Find("HttpSendRequestW", found.sendRequest) &&
                     library.Find("InternetSetOptionW", found.setOption) &&
                     library.Find("InternetQueryOptionW", found.queryOption) &&
                     library.Find("HttpQueryInfoW", found.httpQueryInfo) &&
                     library.Find("InternetReadFile", found.readFile) &&
                     library.Find("InternetQueryDataAvailable", found.queryDataAvailable) &&
                     library.Find("InternetCrackUrlW", found.crackUrl) &&
                     library.Find("InternetCloseHandle", found.closeHandle) &&
                     library.Find("InternetSetStatusCallbackW", found.setStatusCallback);
    if (!all) return std::nullopt;
    return found;
  }();
  return calls ? &*calls : nullptr;
}

bool AppThemed() {
  static const SystemLibrary library(L"uxtheme.dll");
  static const decltype(&::IsAppThemed) isAppThemed = [] {
    decltype(&::IsAppThemed) found = nullptr;
    library.Find("IsAppThemed", found);
    return found;
  }();
  return isAppThemed && isAppThemed();
}

}  // namespace kestrune::win32
