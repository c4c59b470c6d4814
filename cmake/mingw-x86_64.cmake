# 64-bit Windows program (MinGW-w64 x86_64), tested with Wine's 64-bit
# loader, which Debian's wine script never picks while wine32 is installed.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(TOOLCHAIN_PREFIX x86_64-w64-mingw32)
set(WINE_PROGRAM ${CMAKE_CURRENT_LIST_DIR}/../wine/wine64/wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
