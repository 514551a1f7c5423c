// The Windows program's download path: DownloadToFile (the 1024-byte block
// loop) over the WinINet internet and the Win32 files kestrune.exe uses,
// with the agent name it sends. Prints the seconds it took and the process's peak working set, so
// the run script can set it against curl on the same server.
//
// With --progress, through the progress window a build with the maker's
// option shows, as that build's start-up downloads.
//
// Usage: download_bench_win32 [--progress] URL LOCAL_PATH
// Output (one line): ok=1 seconds=S bytes=N peak_working_set_kib=K shows=D show_seconds=T
// (D redraws of the progress window, T seconds spent in them)
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>

#include <cstdio>
#include <exception>
#include <string>

#include "bench/platform/windows/seconds.h"
#include "bench/platform/timed_progress_window.h"
#include "platform/win32/win32_files.h"
#include "platform/win32/win32_internet.h"
#include "platform/win32/win32_progress_window.h"
#include "platform/win32/win32_system.h"
#include "platform/win32/win32_text.h"
#include "update/download.h"
#include "update/download_progress.h"

#include <optional>

int wmain(int argc, wchar_t** argv) {
  // --progress: through the progress window, as a build with the maker's
  // option downloads.
  const bool progress = argc == 4 && std::wstring(argv[1]) == L"--progress";
  if (argc != 3 && !progress) {
    std::fprintf(stderr, "usage: download_bench_win32 [--progress] URL LOCAL_PATH\n");
    return 2;
  }
  const wchar_t* url = argv[argc - 2];
  const wchar_t* localPath = argv[argc - 1];
  try {
    namespace win32 = kestrune::win32;
    win32::Win32Internet internet;
    win32::Win32FileSystem files;
    const std::string agent = kestrune::AgentName(win32::Win32System().OwnExecutablePath());

    if (progress) {
      INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_WIN95_CLASSES};
      ::InitCommonControlsEx(&controls);
    }
    win32::Win32ProgressWindow native(::GetModuleHandleW(nullptr));
    kestrune::bench::TimedProgressWindow window(native);
    std::optional<kestrune::DownloadProgress> shown;
    if (progress) shown.emplace(window, internet, "Download benchmark", 1);
    const double start = Seconds();
    if (shown) shown->Begin("big.bin");
    const bool ok = kestrune::DownloadToFile(shown ? shown->Watched() : internet, files, agent,
                                             win32::Narrow(url), win32::Narrow(localPath));
    shown.reset();
    const double took = Seconds() - start;

    WIN32_FILE_ATTRIBUTE_DATA attributes{};
    long long bytes = -1;
    if (::GetFileAttributesExW(localPath, GetFileExInfoStandard, &attributes)) {
      bytes = (static_cast<long long>(attributes.nFileSizeHigh) << 32) |
              static_cast<long long>(attributes.nFileSizeLow);
    }
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &memory, sizeof memory);
    std::printf("ok=%d seconds=%.6f bytes=%lld peak_working_set_kib=%llu shows=%d "
                "show_seconds=%.6f\n",
                ok ? 1 : 0, took, bytes,
                static_cast<unsigned long long>(memory.PeakWorkingSetSize / 1024), window.shows,
                window.seconds);
    return ok ? 0 : 1;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "download_bench_win32: %s\n", error.what());
    return 1;
  }
}
