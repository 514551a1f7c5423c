// One download through the program's own code path: DownloadToFile (the
// 1024-byte block loop) over the libcurl internet and POSIX files the Linux
// program uses. Prints the seconds it took and the process's peak resident
// size, so the run script can set it against curl on the same server.
// With --hashed, the download carries a check, so the body is hashed as it
// arrives as a signed build's is; the check accepts whatever it is given,
// which leaves the cost of hashing alone (a signed build then compares the
// hash with the file's line of the release list, checked once a start).
//
// With --progress (on a display), the download goes through the progress
// window a build with the maker's option shows, as that build's start-up
// does: the window is drawn, and its messages let through, as blocks arrive.
//
// Usage: download_bench [--hashed | --progress] URL LOCAL_PATH
// Output (one line): ok=1 seconds=S bytes=N max_rss_kib=K shows=D show_seconds=T
// (D redraws of the progress window, T seconds spent in them)
#include <QApplication>
#include <sys/resource.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <exception>
#include <optional>
#include <string>

#include "bench/platform/timed_progress_window.h"
#include "platform/posix/posix_curl_internet.h"
#include "platform/posix/posix_files.h"
#include "platform/posix/posix_system.h"
#include "platform/qt/qt_progress_window.h"
#include "update/download.h"
#include "update/download_progress.h"

int main(int argc, char** argv) {
  const bool hashed = argc == 4 && std::string(argv[1]) == "--hashed";
  const bool progress = argc == 4 && std::string(argv[1]) == "--progress";
  if (argc != 3 && !hashed && !progress) {
    std::fprintf(stderr, "usage: download_bench [--hashed | --progress] URL LOCAL_PATH\n");
    return 2;
  }
  int qtArgc = 1;
  std::optional<QApplication> application;
  if (progress) application.emplace(qtArgc, argv);
  const char* url = argv[argc - 2];
  const char* localPath = argv[argc - 1];
  try {
    kestrune::posix::CurlInternet internet;
    kestrune::posix::PosixFileSystem files;
    // The agent name the program itself sends.
    const std::string agent =
        kestrune::AgentName(kestrune::posix::PosixSystem().OwnExecutablePath());

    kestrune::DownloadCheck check;
    if (hashed) check = [](const kestrune::FileHash&) { return true; };
    kestrune::qt::QtProgressWindow native;
    kestrune::bench::TimedProgressWindow window(native);
    std::optional<kestrune::DownloadProgress> shown;
    if (progress) shown.emplace(window, internet, "Download benchmark", 1);
    const auto start = std::chrono::steady_clock::now();
    if (shown) shown->Begin("big.bin");
    const bool ok = kestrune::DownloadToFile(shown ? shown->Watched() : internet, files, agent,
                                             url, localPath, check);
    shown.reset();
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;

    struct stat info {};
    const long long bytes = ::stat(localPath, &info) == 0 ? static_cast<long long>(info.st_size) : -1;
    struct rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    std::printf("ok=%d seconds=%.6f bytes=%lld max_rss_kib=%ld shows=%d show_seconds=%.6f\n",
                ok ? 1 : 0, took.count(), bytes, usage.ru_maxrss, window.shows, window.seconds);
    return ok ? 0 : 1;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "download_bench: %s\n", error.what());
    return 1;
  }
}
