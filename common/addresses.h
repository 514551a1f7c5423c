// The three addresses the program is built with.
#pragma once

#include <string>

namespace kestrune {

struct Addresses {
  std::string updateBaseUrl;      // ends in "/serverlist/"
  std::string homePageUrl;        // opened by a click on the logo
  std::string supportTicketsUrl;  // opened by a click on the help icon
};

// The compile-time values (CMake cache variables KESTRUNE_*_URL).
Addresses CompiledAddresses();

}  // namespace kestrune
