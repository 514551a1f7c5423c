// The services of one running program, handed to the start-up together.
#pragma once

#include "common/desktop.h"
#include "common/file_system.h"
#include "common/internet.h"
#include "common/progress_window.h"

namespace kestrune {

struct Platform {
  Internet& internet;
  FileSystem& files;
  Desktop& desktop;
  System& system;
  // The window downloads show in a build with the maker's progress option;
  // nothing in a build without it.
  ProgressWindow* progress = nullptr;
};

}  // namespace kestrune
