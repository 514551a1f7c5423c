// The three addresses the program is built with, the maker's keys, its
// choice of replacing changed files and the oldest release it may take.
#pragma once

#include <cstdint>
#include <string>

namespace kestrune {

struct Addresses {
  std::string updateBaseUrl;      // ends in "/serverlist/"
  std::string homePageUrl;        // opened by a click on the logo
  std::string supportTicketsUrl;  // opened by a click on the help icon
  // The maker's minisign public keys (the base64 line of each .pub file),
  // separated by ';'. Empty: nothing is checked. Set: every file kept must
  // be vouched for by the release list signed with one of them.
  std::string minisignPublicKey{};
  // The maker's choice, with a key only: a file that is there but holds
  // other bytes than the signed list names is brought in again, like a
  // missing one.
  bool replaceChangedFiles = false;
  // With a key: no list signed before this (seconds since 1970) is taken,
  // even by a launcher that has kept none yet. 0: none.
  std::uint64_t minimumReleaseTimestamp = 0;
  // The maker's choice: a window shows how the start-up's downloads go, and
  // lets the customer stop them.
  bool showProgress = false;
};

// The compile-time values (CMake cache variables KESTRUNE_*_URL,
// KESTRUNE_MINISIGN_PUBLIC_KEY, KESTRUNE_REPLACE_CHANGED_FILES,
// KESTRUNE_MINIMUM_RELEASE_TIMESTAMP and KESTRUNE_SHOW_PROGRESS).
Addresses CompiledAddresses();

}  // namespace kestrune
