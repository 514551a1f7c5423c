// The Windows program's download path: DownloadToFile (the 1024-byte block
// loop) over the WinINet internet and the Win32 files kestrune.exe uses,
// with the agent name it sends. Prints the seconds it took and the process's peak working set, so
// the run script can set it against curl on the same server.
//
// Usage: download_bench_win32 URL LOCAL_PATH
// Output (one line): ok=1 seconds=S bytes=N peak_working_set_kib=K
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <exception>
#include <string>

#include "bench/platform/windows/seconds.h"
#include "platform/win32/win32_files.h"
#include "platform/win32/win32_internet.h"
#include "platform/win32/win32_system.h"
#include "platform/win32/win32_text.h"
#include "update/download.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: download_bench_win32 URL LOCAL_PATH\n");
    return 2;
  }
  try {
    namespace win32 = kestrune::win32;
    win32::Win32Internet internet;
    win32::Win32FileSystem files;
    const std::string agent = kestrune::AgentName(win32::Win32System().OwnExecutablePath());

    const double start = Seconds();
    const bool ok = kestrune::DownloadToFile(internet, files, agent, win32::Narrow(argv[1]),
                                             win32::Narrow(argv[2]));
    const double took = Seconds() - start;

    WIN32_FILE_ATTRIBUTE_DATA attributes{};
    long long bytes = -1;
    if (::GetFileAttributesExW(argv[2], GetFileExInfoStandard, &attributes)) {
      bytes = (static_cast<long long>(attributes.nFileSizeHigh) << 32) |
              static_cast<long long>(attributes.nFileSizeLow);
    }
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &memory, sizeof memory);
    std::printf("ok=%d seconds=%.6f bytes=%lld peak_working_set_kib=%llu\n", ok ? 1 : 0, took,
                bytes, static_cast<unsigned long long>(memory.PeakWorkingSetSize / 1024));
    return ok ? 0 : 1;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "download_bench_win32: %s\n", error.what());
    return 1;
  }
}
