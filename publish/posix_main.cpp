// The Linux tool's entry: libcurl for the live check, Windows-1252 for the
// manifests' 8-bit text, as the Linux launcher has them.
#include <unistd.h>

#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "platform/posix/posix_curl_internet.h"
#include "platform/posix/posix_system.h"
#include "publish/check_report.h"
#include "publish/run_publish.h"

int main(int argc, char** argv) {
  using namespace kestrune;
  try {
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    posix::CurlInternet internet;
    posix::PosixSystem system;
    publish::PublishServices services{internet, system, std::cout, std::cerr,
                                      ::isatty(STDERR_FILENO) == 1};
    return publish::RunPublish(args, services);
  } catch (const std::exception& error) {
    std::cerr << "kestrune-publish: " << publish::Printed(error.what()) << "\n";
  }
  return 1;
}
