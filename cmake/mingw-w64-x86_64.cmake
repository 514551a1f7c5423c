# Cross-building the Windows program with Debian's MinGW-w64 (POSIX threads
# flavour, which is what libstdc++'s <thread>/<mutex> need).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KESTRUNE_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KESTRUNE_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KESTRUNE_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KESTRUNE_MINGW_TRIPLE}-windres)

# Debian's MinGW zlib, plus the libjpeg prefix script/build-mingw-libjpeg
# builds under build/.
set(CMAKE_FIND_ROOT_PATH /usr/${KESTRUNE_MINGW_TRIPLE}
    ${CMAKE_CURRENT_LIST_DIR}/../build/mingw-deps)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The program is linked statically: Debian's zlib comes with both an import
# library and an archive, and only the archive keeps zlib1.dll away.
set(ZLIB_USE_STATIC_LIBS ON)
