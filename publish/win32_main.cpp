// The Windows tool's entry, a console program: WinINet for the live check
// and the system's ANSI code page for the manifests, as the launcher has
// them; arguments arrive as UTF-16 and are held as UTF-8.
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "platform/win32/win32_internet.h"
#include "platform/win32/win32_system.h"
#include "platform/win32/win32_system_library.h"
#include "platform/win32/win32_text.h"
#include "platform/win32/win32_windows.h"
#include "publish/check_report.h"
#include "publish/run_publish.h"

namespace {

// Shows UTF-8 output as such in a console window, and gives the console
// back as it was found.
class ConsoleUtf8 {
 public:
  ConsoleUtf8() : previous_(::GetConsoleOutputCP()) {
    if (previous_ != 0) ::SetConsoleOutputCP(CP_UTF8);
  }
  ~ConsoleUtf8() {
    if (previous_ != 0) ::SetConsoleOutputCP(previous_);
  }
  ConsoleUtf8(const ConsoleUtf8&) = delete;
  ConsoleUtf8& operator=(const ConsoleUtf8&) = delete;

 private:
  UINT previous_;
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
  using namespace kestrune;
  // The tool is run from wherever it was saved, often a downloads folder,
  // on the machine that holds the signing key: what WinINet loads later
  // must not be looked for there first.
  win32::LoadLaterDllsFromTheSystemFolderOnly();
  // A manifest written to standard output keeps its CR LF as they are.
  _setmode(_fileno(stdout), _O_BINARY);
  const ConsoleUtf8 console;
  try {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.push_back(win32::Narrow(argv[i]));
    win32::Win32Internet internet;
    win32::Win32System system;
    publish::PublishServices services{internet, system, std::cout, std::cerr,
                                      _isatty(_fileno(stderr)) != 0};
    return publish::RunPublish(args, services);
  } catch (const std::exception& error) {
    std::cerr << "kestrune-publish: " << publish::Printed(error.what()) << "\n";
  }
  return 1;
}
