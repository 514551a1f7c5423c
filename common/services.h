// The services of one running program, handed to the start-up together.
#pragma once

#include "common/desktop.h"
#include "common/file_system.h"
#include "common/internet.h"

namespace kestrune {

struct Platform {
  Internet& internet;
  FileSystem& files;
  Desktop& desktop;
  System& system;
};

}  // namespace kestrune
