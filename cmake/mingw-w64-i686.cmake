# Cross-building the 32-bit Windows program with Debian's MinGW-w64; its
# libraries come from script/build-mingw-deps i686.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(KESTRUNE_MINGW_TRIPLE i686-w64-mingw32)
set(KESTRUNE_MINGW_DEPS ${CMAKE_CURRENT_LIST_DIR}/../build/mingw-deps-i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
