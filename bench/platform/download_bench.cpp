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

#include "platform/posix/curl_internet.h"
#include "platform/posix/posix_files.h"
#include "platform/posix/process_info.h"
#include "update/download.h"

namespace {

// DownloadToFile asks the desktop only for the program's path (the agent
// name); anything else would be a change in the code being measured.
class BenchDesktop final : public kestrune::Desktop {
 public:
  void ShellOpen(const std::string&) override { Unexpected("ShellOpen"); }
  bool Confirm(const std::string&) override { Unexpected("Confirm"); }
  void ShowInformation(const std::string&) override { Unexpected("ShowInformation"); }
  void ShowError(const std::string&) override { Unexpected("ShowError"); }
  void Terminate() override { Unexpected("Terminate"); }
  void Sleep(int) override { Unexpected("Sleep"); }
  std::string OwnExecutablePath() override { return kestrune::posix::OwnExecutablePath(); }
  std::string AnsiToUtf8(std::string_view) override { Unexpected("AnsiToUtf8"); }

 private:
  [[noreturn]] static void Unexpected(const char* call) {
    std::fprintf(stderr, "download_bench: unexpected %s\n", call);
    std::terminate();
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: download_bench URL LOCAL_PATH\n");
    return 2;
  }
  try {
    kestrune::posix::CurlInternet internet;
    kestrune::posix::PosixFileSystem files;
    BenchDesktop desktop;
    kestrune::Platform platform{internet, files, desktop};

    const auto start = std::chrono::steady_clock::now();
    const bool ok = kestrune::DownloadToFile(platform, argv[1], argv[2]);
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
