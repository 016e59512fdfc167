# Cross-build for 32-bit Windows with mingw-w64 (Debian: mingw-w64): the
# brem32.dll that real hosts load.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TOOLCHAIN_PREFIX i686-w64-mingw32)
# Windows XP is the oldest system supported.
set(BREM_WINDOWS_VERSION 5.1)
set(BREM_WINNT 0x0501)
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
