// The Windows program's entry: builds the platform objects and runs the
// shared main sequence.
#include "platform/win32/win32_windows.h"

#include "app/entry.h"
#include "common/addresses.h"
#include "common/texts.h"
#include "platform/win32/win32_application.h"
#include "platform/win32/win32_desktop.h"
#include "platform/win32/win32_files.h"
#include "platform/win32/win32_internet.h"
#include "platform/win32/win32_message_box.h"
#include "platform/win32/win32_progress_window.h"
#include "platform/win32/win32_system.h"
#include "platform/win32/win32_system_library.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
  using namespace kestrune;
  win32::LoadLaterDllsFromTheSystemFolderOnly();
  try {
    win32::AppState state;
    win32::Win32Internet internet;
    win32::Win32FileSystem files;
    win32::Win32Desktop desktop(state);
    win32::Win32System system;
    win32::Win32Application application(instance, showCommand, state);
    win32::Win32ProgressWindow progress(instance);
    Platform platform{internet, files, desktop, system, &progress};
    return RunKestrune(application, platform, CompiledAddresses());
  } catch (...) {
    // The last-resort guard of the program's entry: the failure is told,
    // then the end.
    win32::ShowCurrentFailure(texts::kApplicationTitle);
  }
  return 1;
}
