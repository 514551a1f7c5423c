// The three addresses the program is built with, and the maker's key.
#pragma once

#include <string>

namespace kestrune {

struct Addresses {
  std::string updateBaseUrl;      // ends in "/serverlist/"
  std::string homePageUrl;        // opened by a click on the logo
  std::string supportTicketsUrl;  // opened by a click on the help icon
  // The maker's minisign public key (the base64 line of its .pub file).
  // Empty: nothing is checked. Set: every file kept must be signed with it.
  std::string minisignPublicKey{};
};

// The compile-time values (CMake cache variables KESTRUNE_*_URL and
// KESTRUNE_MINISIGN_PUBLIC_KEY).
Addresses CompiledAddresses();

}  // namespace kestrune
