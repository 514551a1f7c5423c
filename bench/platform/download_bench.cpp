// One download through the program's own code path: DownloadToFile (the
// 1024-byte block loop) over the libcurl internet and POSIX files the Linux
// program uses. Prints the seconds it took and the process's peak resident
// size, so the run script can set it against curl on the same server.
//
// Usage: download_bench URL LOCAL_PATH
// Output (one line): ok=1 seconds=S bytes=N max_rss_kib=K
#include <sys/resource.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <exception>
#include <string>

#include "platform/posix/posix_curl_internet.h"
#include "platform/posix/posix_files.h"
#include "platform/posix/posix_system.h"
#include "update/download.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: download_bench URL LOCAL_PATH\n");
    return 2;
  }
  try {
    kestrune::posix::CurlInternet internet;
    kestrune::posix::PosixFileSystem files;
    // The agent name the program itself sends.
    const std::string agent =
        kestrune::AgentName(kestrune::posix::PosixSystem().OwnExecutablePath());

    const auto start = std::chrono::steady_clock::now();
    const bool ok = kestrune::DownloadToFile(internet, files, agent, argv[1], argv[2]);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;

    struct stat info {};
    const long long bytes = ::stat(argv[2], &info) == 0 ? static_cast<long long>(info.st_size) : -1;
    struct rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    std::printf("ok=%d seconds=%.6f bytes=%lld max_rss_kib=%ld\n", ok ? 1 : 0, took.count(), bytes,
                usage.ru_maxrss);
    return ok ? 0 : 1;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "download_bench: %s\n", error.what());
    return 1;
  }
}
