// The three addresses the program is built with, the maker's key and its
// choice of replacing changed files.
#pragma once

#include <string>

namespace kestrune {

struct Addresses {
  std::string updateBaseUrl;      // ends in "/serverlist/"
  std::string homePageUrl;        // opened by a click on the logo
  std::string supportTicketsUrl;  // opened by a click on the help icon
  // The maker's minisign public key (the base64 line of its .pub file).
  // Empty: nothing is checked. Set: every file kept must be vouched for by
  // the release list signed with it.
  std::string minisignPublicKey{};
  // The maker's choice, with a key only: a file that is there but whose
  // line in the signed list changed is brought in again, like a missing one.
  bool replaceChangedFiles = false;
};

// The compile-time values (CMake cache variables KESTRUNE_*_URL,
// KESTRUNE_MINISIGN_PUBLIC_KEY and KESTRUNE_REPLACE_CHANGED_FILES).
Addresses CompiledAddresses();

}  // namespace kestrune
