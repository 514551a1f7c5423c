# Finds libsodium for both programs:
#   - the Linux build: Debian's libsodium-dev (/usr/include/sodium.h and the
#     shared libsodium.so);
#   - the Windows build: the static libsodium.a script/build-mingw-deps
#     installs in build/mingw-deps (build/mingw-deps-i686 for the 32-bit
#     program), reached through CMAKE_FIND_ROOT_PATH of the MinGW toolchain
#     file (whose ONLY modes keep the host's copy out).
#
# Defines the imported target Sodium::sodium, and Sodium_FOUND,
# Sodium_VERSION, Sodium_INCLUDE_DIR and Sodium_LIBRARY.
#
# When the library found is an archive, the target also carries
# SODIUM_STATIC (sodium/export.h then declares no DLL imports) and, on
# Windows, advapi32, where the archive's random numbers come from
# (RtlGenRandom).

find_path(Sodium_INCLUDE_DIR NAMES sodium.h)
find_library(Sodium_LIBRARY NAMES sodium libsodium)

unset(Sodium_VERSION)
if(Sodium_INCLUDE_DIR AND EXISTS "${Sodium_INCLUDE_DIR}/sodium/version.h")
  file(STRINGS "${Sodium_INCLUDE_DIR}/sodium/version.h" _Sodium_version_line
       REGEX "^#define[ \t]+SODIUM_VERSION_STRING[ \t]+\"[^\"]*\"")
  if(_Sodium_version_line MATCHES "\"([^\"]*)\"")
    set(Sodium_VERSION "${CMAKE_MATCH_1}")
  endif()
  unset(_Sodium_version_line)
endif()

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(Sodium
  REQUIRED_VARS Sodium_LIBRARY Sodium_INCLUDE_DIR
  VERSION_VAR Sodium_VERSION)
mark_as_advanced(Sodium_INCLUDE_DIR Sodium_LIBRARY)

if(Sodium_FOUND AND NOT TARGET Sodium::sodium)
  # An archive, but not MinGW's import library of a DLL (libsodium.dll.a).
  if(Sodium_LIBRARY MATCHES "\\.a$" AND NOT Sodium_LIBRARY MATCHES "\\.dll\\.a$")
    add_library(Sodium::sodium STATIC IMPORTED)
    set_target_properties(Sodium::sodium PROPERTIES
      IMPORTED_LINK_INTERFACE_LANGUAGES C
      INTERFACE_COMPILE_DEFINITIONS SODIUM_STATIC)
    if(WIN32)
      set_property(TARGET Sodium::sodium APPEND PROPERTY
        INTERFACE_LINK_LIBRARIES advapi32)
    endif()
  else()
    add_library(Sodium::sodium UNKNOWN IMPORTED)
  endif()
  set_target_properties(Sodium::sodium PROPERTIES
    IMPORTED_LOCATION "${Sodium_LIBRARY}"
    INTERFACE_INCLUDE_DIRECTORIES "${Sodium_INCLUDE_DIR}")
endif()
