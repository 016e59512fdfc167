# Cross-build for 64-bit Windows with mingw-w64 (Debian: mingw-w64): the
# brem32.dll of 64-bit hosts, under the same name and export names.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TOOLCHAIN_PREFIX x86_64-w64-mingw32)
# Windows XP x64 (5.2) is the oldest 64-bit system supported.
set(BREM_WINDOWS_VERSION 5.2)
set(BREM_WINNT 0x0502)
set(CMAKE_CROSSCOMPILING_EMULATOR wine64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
