// One download and one replaced copy through the shipped file and internet
// layers, nothing else: a process small enough to trace from outside.
// Usage: download_once <url> <local path> <copy path>
#include <cstdio>
#include <exception>

#include "platform/posix/posix_curl_internet.h"
#include "platform/posix/posix_files.h"
#include "update/download.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fputs("usage: download_once <url> <local path> <copy path>\n", stderr);
    return 2;
  }
  try {
    kestrune::posix::CurlInternet internet;
    kestrune::posix::PosixFileSystem files;
    if (!kestrune::DownloadToFile(internet, files, "download_once", argv[1], argv[2])) return 1;
    // The manifest copy and its signature are kept this way.
    kestrune::WriteFileReplacing(files, argv[3], "the kept copy\n");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "download_once: %s\n", e.what());
    return 1;
  }
  return 0;
}
