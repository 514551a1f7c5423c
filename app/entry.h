// The program's main sequence, shared by every platform's entry point.
#pragma once

#include "app/main_window.h"
#include "common/addresses.h"
#include "common/services.h"

namespace kestrune {

// Initialises the application, gives the taskbar button to the main
// window, sets the application title, creates Form1 (which runs the
// start-up update) and, unless start-up asked the program to end, runs the
// message loop. Returns the exit code.
int RunKestrune(Application& application, Platform& platform, const Addresses& addresses);

}  // namespace kestrune
