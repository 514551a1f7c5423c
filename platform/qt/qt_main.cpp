// The Linux program: builds the platform objects and hands them to the
// program's main sequence.
#include <QApplication>

#include <cstdio>
#include <optional>
#include <string>

#include "app/entry.h"
#include "common/addresses.h"
#include "common/failure.h"
#include "common/texts.h"
#include "platform/posix/posix_curl_internet.h"
#include "platform/posix/posix_files.h"
#include "platform/posix/posix_system.h"
#include "platform/qt/qt_application.h"
#include "platform/qt/qt_desktop.h"
#include "platform/qt/qt_display_start.h"
#include "platform/qt/qt_message_boxes.h"
#include "platform/qt/qt_progress_window.h"

namespace {

// The program takes no arguments; Qt is given only the program's name so
// nothing a user types is read as one of Qt's own options.
int qtArgc = 1;
char programName[] = "kestrune";
char* qtArgv[] = {programName, nullptr};

// The last resort for a failure nothing else caught: the error box a user
// sees, worded as every other failure, and the same line on stderr for
// whoever started the program from a terminal.
void ReportEscapedFailure() noexcept {
  try {
    const std::string text = kestrune::CurrentFailureBoxText();
    std::fprintf(stderr, "kestrune: %s\n", text.c_str());
    kestrune::qt::ShowErrorBox(kestrune::texts::kApplicationTitle, text);
  } catch (...) {
    std::fputs("kestrune: unexpected error\n", stderr);
  }
}

}  // namespace

int main() {
  // Made before the guard so the box below still has an application. The
  // display start spans only Qt's connection to the display.
  std::optional<kestrune::qt::DisplayStart> displayStart(std::in_place);
  QApplication qtApplication(qtArgc, qtArgv);
  displayStart.reset();
  try {
    kestrune::qt::QtApplication application;
    kestrune::posix::CurlInternet internet;
    kestrune::posix::PosixFileSystem files;
    kestrune::qt::QtDesktop desktop(application);
    kestrune::posix::PosixSystem system;
    kestrune::qt::QtProgressWindow progress;
    kestrune::Platform platform{internet, files, desktop, system, &progress};
    return kestrune::RunKestrune(application, platform, kestrune::CompiledAddresses());
  } catch (...) {
    ReportEscapedFailure();
  }
  return 1;
}
