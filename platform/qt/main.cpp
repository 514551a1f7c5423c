// The Linux program: builds the platform objects and hands them to the
// program's main sequence.
#include <QApplication>

#include <cstdio>
#include <exception>

#include "app/addresses.h"
#include "app/entry.h"
#include "platform/posix/curl_internet.h"
#include "platform/posix/posix_files.h"
#include "platform/qt/qt_application.h"
#include "platform/qt/qt_desktop.h"

namespace {

// The program takes no arguments; Qt is given only the program's name so
// nothing a user types is read as one of Qt's own options.
int qtArgc = 1;
char programName[] = "kestrune";
char* qtArgv[] = {programName, nullptr};

}  // namespace

int main() {
  try {
    QApplication qtApplication(qtArgc, qtArgv);
    kestrune::qt::QtApplication application;
    kestrune::posix::CurlInternet internet;
    kestrune::posix::PosixFileSystem files;
    kestrune::qt::QtDesktop desktop(application);
    kestrune::Platform platform{internet, files, desktop};
    return kestrune::RunKestrune(application, platform, kestrune::CompiledAddresses());
  } catch (const std::exception& error) {
    std::fprintf(stderr, "kestrune: %s\n", error.what());
  } catch (...) {
    std::fprintf(stderr, "kestrune: unexpected error\n");
  }
  return 1;
}
