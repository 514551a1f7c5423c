# Cross-building the 64-bit Windows program with Debian's MinGW-w64; its
# libraries come from script/build-mingw-deps x86_64.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(KESTRUNE_MINGW_TRIPLE x86_64-w64-mingw32)
set(KESTRUNE_MINGW_DEPS ${CMAKE_CURRENT_LIST_DIR}/../build/mingw-deps)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
