// The least a WinINet program does to store a URL in a file: 64 KiB reads,
// each written straight out, no layers. The yardstick for the Windows
// download under Wine: whatever this takes is WinINet's and Wine's own.
//
// Usage: bare_wininet_download URL LOCAL_PATH
// Output (one line): ok=1 seconds=S bytes=N
#include <windows.h>
#include <wininet.h>

#include <cstdio>
#include <vector>

#include "bench/platform/windows/seconds.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: bare_wininet_download URL LOCAL_PATH\n");
    return 2;
  }
  const double start = Seconds();
  bool ok = false;
  long long bytes = 0;
  HINTERNET session = ::InternetOpenW(L"bare_wininet_download.exe", INTERNET_OPEN_TYPE_PRECONFIG,
                                      nullptr, nullptr, 0);
  HINTERNET url = session ? ::InternetOpenUrlW(session, argv[1], nullptr, 0, 0, 0) : nullptr;
  HANDLE file = ::CreateFileW(argv[2], GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (url && file != INVALID_HANDLE_VALUE) {
    std::vector<char> buffer(64 * 1024);
    for (;;) {
      DWORD read = 0;
      if (!::InternetReadFile(url, buffer.data(), static_cast<DWORD>(buffer.size()), &read)) break;
      if (read == 0) {
        ok = true;
        break;
      }
      DWORD written = 0;
      if (!::WriteFile(file, buffer.data(), read, &written, nullptr) || written != read) break;
      bytes += read;
    }
  }
  if (file != INVALID_HANDLE_VALUE) ::CloseHandle(file);
  if (url) ::InternetCloseHandle(url);
  if (session) ::InternetCloseHandle(session);
  std::printf("ok=%d seconds=%.6f bytes=%lld\n", ok ? 1 : 0, Seconds() - start, bytes);
  return ok ? 0 : 1;
}
