// The DLLs the program loads at run time, from the system folder only.
//
// NOTE: Windows looks for a DLL that is not on its known-DLL list in the
// program's own folder first, and that folder is where the downloads land:
// an elevated launcher would run whatever file of that name sits there,
// before its entry is reached. So the exe imports only known DLLs (and
// comctl32, which its manifest takes from the side-by-side store), and
// every other DLL is loaded here, by name, from the system folder.
#pragma once

#include "platform/win32/win32_windows.h"
#include <wininet.h>

#include "platform/win32/win32_handles.h"

namespace kestrune::win32 {

// Keeps every later load of the process to the system folder (and what the
// loader itself trusts), where Windows can do that. Called first thing at
// the program's entry.
void LoadLaterDllsFromTheSystemFolderOnly() noexcept;

// One DLL from the system folder, freed with its owner.
class SystemLibrary {
 public:
  explicit SystemLibrary(const wchar_t* fileName);

  // Sets function to the export of that name; false, and function null,
  // when the export or the library is missing.
  template <typename FunctionPointer>
  bool Find(const char* name, FunctionPointer& function) const {
    // Through the generic function type, which the compiler lets be cast
    // to any other.
    using Generic = void (*)();
    function = module_ ? reinterpret_cast<FunctionPointer>(
                             reinterpret_cast<Generic>(::GetProcAddress(module_.get(), name)))
                       : nullptr;
    return function != nullptr;
  }

 private:
  LibraryHandle module_;
};

// The WinINet calls of the internet layer.
struct WinInetCalls {
  decltype(&::InternetOpenW) open = nullptr;
  decltype(&::InternetConnectW) connect = nullptr;
  decltype(&::HttpOpenRequestW) openRequest = nullptr;
  decltype(&::HttpSendRequestW) sendRequest = nullptr;
  decltype(&::InternetSetOptionW) setOption = nullptr;
  decltype(&::InternetQueryOptionW) queryOption = nullptr;
  decltype(&::HttpQueryInfoW) httpQueryInfo = nullptr;
  decltype(&::InternetReadFile) readFile = nullptr;
  decltype(&::InternetQueryDataAvailable) queryDataAvailable = nullptr;
  decltype(&::InternetCrackUrlW) crackUrl = nullptr;
  decltype(&::InternetCloseHandle) closeHandle = nullptr;
  decltype(&::InternetSetStatusCallbackW) setStatusCallback = nullptr;
};

// wininet.dll's calls, resolved once for the process; nullptr when the
// library or any of them cannot be had (the transfers then fail).
const WinInetCalls* WinInet();

// uxtheme.dll's IsAppThemed, resolved once; false (the classic look) when
// it cannot be had.
bool AppThemed();

}  // namespace kestrune::win32
