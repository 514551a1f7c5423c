// The Windows program's entry: builds the platform objects and runs the
// shared main sequence.
#include "platform/win32/win32_windows.h"

#include <exception>

#include "app/addresses.h"
#include "app/entry.h"
#include "app/texts.h"
#include "platform/io_error.h"
#include "platform/win32/win32_application.h"
#include "platform/win32/win32_desktop.h"
#include "platform/win32/win32_files.h"
#include "platform/win32/win32_internet.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
  using namespace kestrune;
  try {
    win32::AppState state;
    win32::Win32Internet internet;
    win32::Win32FileSystem files;
    win32::Win32Desktop desktop(state);
    win32::Win32Application application(instance, showCommand, state);
    Platform platform{internet, files, desktop};
    return RunKestrune(application, platform, CompiledAddresses());
  } catch (const std::exception& error) {
    // Nothing may leave the entry point: the failure is told, then the end.
    try {
      win32::ShowMessageBox(ErrorBoxText(error.what()), texts::kApplicationTitle,
                            MB_OK | MB_ICONERROR);
    } catch (...) {
    }
  } catch (...) {
  }
  return 1;
}
