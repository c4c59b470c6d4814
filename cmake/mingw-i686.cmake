# 32-bit Windows program (MinGW-w64 i686), tested with Wine's 32-bit loader.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(TOOLCHAIN_PREFIX i686-w64-mingw32)
find_program(WINE_PROGRAM wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
