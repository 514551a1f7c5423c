#include "common/addresses.h"

// Filled in by CMake from its cache; never read at run time.
#ifndef KESTRUNE_UPDATE_BASE_URL
#error "KESTRUNE_UPDATE_BASE_URL must be defined by the build"
#endif

namespace kestrune {

namespace {
constexpr char UPDATE_BASE_URL[] = KESTRUNE_UPDATE_BASE_URL;
constexpr char HOME_PAGE_URL[] = KESTRUNE_HOME_PAGE_URL;
constexpr char SUPPORT_TICKETS_URL[] = KESTRUNE_SUPPORT_TICKETS_URL;
}  // namespace

Addresses CompiledAddresses() {
  return Addresses{UPDATE_BASE_URL, HOME_PAGE_URL, SUPPORT_TICKETS_URL};
}

}  // namespace kestrune
