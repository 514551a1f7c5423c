// One start-up of the Windows program's core (WinINet, Win32 files) in the
// current directory, for bench/platform/line; see line_start.h.
//
// Usage: line_bench_win32 UPDATE_BASE_URL [MINISIGN_PUBLIC_KEY]
#include <cstdio>
#include <exception>
#include <string>

#include "bench/platform/line_start.h"
#include "platform/win32/win32_files.h"
#include "platform/win32/win32_internet.h"
#include "platform/win32/win32_system.h"
#include "platform/win32/win32_text.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 2 && argc != 3) {
    std::fprintf(stderr, "usage: line_bench_win32 UPDATE_BASE_URL [MINISIGN_PUBLIC_KEY]\n");
    return 2;
  }
  try {
    namespace win32 = kestrune::win32;
    win32::Win32Internet internet;
    win32::Win32FileSystem files;
    win32::Win32System system;
    return kestrune::bench::TimeOneStart(internet, files, system, win32::Narrow(argv[1]),
                                         argc == 3 ? win32::Narrow(argv[2]) : "");
  } catch (const std::exception& error) {
    std::fprintf(stderr, "line_bench_win32: %s\n", error.what());
    return 1;
  }
}
