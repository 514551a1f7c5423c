# The part of the MinGW-w64 toolchain files that both architectures share:
# cmake/mingw-w64-x86_64.cmake and cmake/mingw-w64-i686.cmake set
# CMAKE_SYSTEM_PROCESSOR, KESTRUNE_MINGW_TRIPLE and KESTRUNE_MINGW_DEPS (the
# prefix script/build-mingw-deps fills for that architecture), then
# include this file.
set(CMAKE_SYSTEM_NAME Windows)

# Debian's MinGW-w64, POSIX threads flavour, which is what libstdc++'s
# <thread>/<mutex> need.
set(CMAKE_C_COMPILER ${KESTRUNE_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KESTRUNE_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KESTRUNE_MINGW_TRIPLE}-windres)

# Debian's MinGW zlib (libz-mingw-w64-dev has both architectures), plus the
# prefix of libjpeg, GoogleTest and libsodium built under build/.
set(CMAKE_FIND_ROOT_PATH /usr/${KESTRUNE_MINGW_TRIPLE} ${KESTRUNE_MINGW_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The program is linked statically: Debian's zlib comes with both an import
# library and an archive, and only the archive keeps zlib1.dll away.
set(ZLIB_USE_STATIC_LIBS ON)
