# What both Windows cross-builds share; cmake/mingw-w64-i686.cmake and
# cmake/mingw-w64-x86_64.cmake set the processor, the tool prefix and the
# oldest Windows version (BREM_WINDOWS_VERSION, BREM_WINNT) and include this.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${TOOLCHAIN_PREFIX}-gcc)
set(CMAKE_CXX_COMPILER ${TOOLCHAIN_PREFIX}-g++)
set(CMAKE_RC_COMPILER ${TOOLCHAIN_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TOOLCHAIN_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# The DLL and the programs carry their C and C++ runtimes, so nothing but
# system DLLs has to lie beside them.
# The oldest Windows supported bounds the headers (a call that needs a later
# Windows does not compile), and the PE headers of every binary name it.
string(REPLACE "." ";" brem_winver "${BREM_WINDOWS_VERSION}")
list(GET brem_winver 0 brem_winver_major)
list(GET brem_winver 1 brem_winver_minor)
set(CMAKE_C_FLAGS_INIT "-D_WIN32_WINNT=${BREM_WINNT} -DWINVER=${BREM_WINNT}")
set(CMAKE_CXX_FLAGS_INIT "-D_WIN32_WINNT=${BREM_WINNT} -DWINVER=${BREM_WINNT}")
set(BREM_XP_LINK "-Wl,--major-subsystem-version,${brem_winver_major},--minor-subsystem-version,${brem_winver_minor},--major-os-version,${brem_winver_major},--minor-os-version,${brem_winver_minor}")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++ ${BREM_XP_LINK}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++ ${BREM_XP_LINK}")
