// One start-up of the Linux program's core (libcurl, POSIX files) in the
// current directory, for bench/platform/line; see line_start.h.
//
// Usage: line_bench UPDATE_BASE_URL [MINISIGN_PUBLIC_KEY]
#include <cstdio>
#include <exception>
#include <string>

#include "bench/platform/line_start.h"
#include "platform/posix/posix_curl_internet.h"
#include "platform/posix/posix_files.h"
#include "platform/posix/posix_system.h"

int main(int argc, char** argv) {
  if (argc != 2 && argc != 3) {
    std::fprintf(stderr, "usage: line_bench UPDATE_BASE_URL [MINISIGN_PUBLIC_KEY]\n");
    return 2;
  }
  try {
    kestrune::posix::CurlInternet internet;
    kestrune::posix::PosixFileSystem files;
    kestrune::posix::PosixSystem system;
    return kestrune::bench::TimeOneStart(internet, files, system, argv[1],
                                         argc == 3 ? argv[2] : "");
  } catch (const std::exception& error) {
    std::fprintf(stderr, "line_bench: %s\n", error.what());
    return 1;
  }
}
