// The tool's whole run, on whichever platform's services its entry made.
#pragma once

#include <ostream>
#include <span>
#include <string>

#include "common/desktop.h"
#include "common/internet.h"

namespace kestrune::publish {

struct PublishServices {
  Internet& internet;
  System& system;
  std::ostream& out;
  std::ostream& err;
  // Standard error is a terminal: a live check shows its progress there.
  bool errIsTerminal = false;
};

// The exit status: 0 all well, 1 a problem found, 2 wrong usage.
// args without the program's own name, in UTF-8.
int RunPublish(std::span<const std::string> args, PublishServices& services);

}  // namespace kestrune::publish
