# The Windows half: brem32.dll and its test host, cross-built with mingw-w64
# (i686) into win/ of this build, then run under Wine by CTest (label "wine").
find_program(BREM_MINGW_CXX i686-w64-mingw32-g++)
find_program(BREM_WINE wine)
if(NOT BREM_MINGW_CXX OR NOT BREM_WINE)
  message(WARNING "mingw-w64 (i686) or wine not found: the Windows build and its tests are skipped")
  return()
endif()

include(ExternalProject)
set(BREM_WIN_DIR ${CMAKE_BINARY_DIR}/win)
ExternalProject_Add(brem32_windows
  SOURCE_DIR ${PROJECT_SOURCE_DIR}
  BINARY_DIR ${BREM_WIN_DIR}
  CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/mingw-w64-i686.cmake
             -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBREM_TESTS=ON -DBREM_WINDOWS=OFF
  INSTALL_COMMAND ""
  BUILD_ALWAYS ON
  USES_TERMINAL_BUILD ON)

if(BREM_TESTS)
  find_program(BREM_OBJDUMP i686-w64-mingw32-objdump REQUIRED)
  add_test(NAME windows_export_table
    COMMAND ${CMAKE_COMMAND} -DLIB=${BREM_WIN_DIR}/bin/brem32.dll
            -DEXPECTED=${PROJECT_SOURCE_DIR}/src/exports/brem32.def -DMODE=pe -DOBJDUMP=${BREM_OBJDUMP}
            -DHOST_NAMES=${PROJECT_SOURCE_DIR}/tests/exports.txt
            -P ${PROJECT_SOURCE_DIR}/tests/check_exports.cmake)
  set_tests_properties(windows_export_table PROPERTIES LABELS "wine;windows")
  add_test(NAME windows_host
    COMMAND ${CMAKE_COMMAND} -E env WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
            ${BREM_WINE} ${BREM_WIN_DIR}/bin/wintest.exe ${PROJECT_SOURCE_DIR}/tests/data
    WORKING_DIRECTORY ${BREM_WIN_DIR}/bin)
  set_tests_properties(windows_host PROPERTIES LABELS "wine;windows" TIMEOUT 600)
endif()

# The release zip of the cross build, unpacked into an empty directory, with a
# host built against its header and import libraries alone, run under Wine.
if(BREM_TESTS)
  add_test(NAME windows_release_zip
    COMMAND ${CMAKE_COMMAND} -E env CPACK=${CMAKE_CPACK_COMMAND}
            bash ${PROJECT_SOURCE_DIR}/tests/release/check-windows-zip.sh ${BREM_WIN_DIR})
  set_tests_properties(windows_release_zip PROPERTIES LABELS "wine;windows" TIMEOUT 600)
endif()

# The dial-up exports, each run with the remote access library it needs: the
# stand-in beside wintest.exe preferred over Wine's own, or none at all.
if(BREM_TESTS)
  add_test(NAME windows_dial
    COMMAND ${CMAKE_COMMAND} -E env WINEDEBUG=-all "WINEDLLOVERRIDES=mscoree,mshtml=$<SEMICOLON>rasapi32=n" BREM_RAS=standin
            ${BREM_WINE} ${BREM_WIN_DIR}/bin/wintest.exe ${PROJECT_SOURCE_DIR}/tests/data dial_standin
    WORKING_DIRECTORY ${BREM_WIN_DIR}/bin)
  add_test(NAME windows_dial_without_remote_access
    COMMAND ${CMAKE_COMMAND} -E env WINEDEBUG=-all "WINEDLLOVERRIDES=mscoree,mshtml=$<SEMICOLON>rasapi32=d" BREM_RAS=disabled
            ${BREM_WINE} ${BREM_WIN_DIR}/bin/wintest.exe ${PROJECT_SOURCE_DIR}/tests/data dial_without
    WORKING_DIRECTORY ${BREM_WIN_DIR}/bin)
  set_tests_properties(windows_dial windows_dial_without_remote_access PROPERTIES
    LABELS "wine;windows" TIMEOUT 120 FAIL_REGULAR_EXPRESSION "FAIL|skipped|\n0 passed")
endif()

# The fault sweeps against the Win32 layer (the test programs link the core
# statically); each prints the failure points it swept.
if(BREM_TESTS)
  foreach(name faults_test news_faults_test export_faults_test writer_faults_test hostile_spool_test)
    add_test(NAME windows_${name}
      COMMAND ${CMAKE_COMMAND} -E env WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
              ${BREM_WINE} ${BREM_WIN_DIR}/bin/win_${name}.exe
      WORKING_DIRECTORY ${BREM_WIN_DIR}/bin)
    set_tests_properties(windows_${name} PROPERTIES LABELS "wine;windows" TIMEOUT 1800)
  endforeach()
  # The same generator's spools through the Win32 layer: fewer, since every
  # process Wine starts costs more than a native one.
  set_tests_properties(windows_hostile_spool_test PROPERTIES ENVIRONMENT "BREM_HOSTILE_SPOOLS=60")
endif()

# A spool file held open by another process (the held cases of the test host)
# and the compressor found beside the DLL with the host elsewhere.
if(BREM_TESTS)
  add_test(NAME windows_held_files
    COMMAND ${CMAKE_COMMAND} -E env WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
            ${BREM_WINE} ${BREM_WIN_DIR}/bin/wintest.exe ${PROJECT_SOURCE_DIR}/tests/data held
    WORKING_DIRECTORY ${BREM_WIN_DIR}/bin)
  add_test(NAME windows_zorpack_search
    COMMAND bash ${PROJECT_SOURCE_DIR}/tests/win/zorpack-search.sh ${BREM_WIN_DIR}/bin ${PROJECT_SOURCE_DIR}/demo)
  set_tests_properties(windows_held_files windows_zorpack_search PROPERTIES
    LABELS "wine;windows" TIMEOUT 300 FAIL_REGULAR_EXPRESSION "FAIL|\n0 passed")
endif()

# One scenario through brem with libbrem32.so and through brem.exe with
# brem32.dll under Wine: the two trees must be byte-identical.
if(BREM_TESTS AND TARGET brem)
  add_test(NAME windows_parity
    COMMAND bash ${PROJECT_SOURCE_DIR}/tests/win/parity.sh $<TARGET_FILE:brem> ${BREM_WIN_DIR}/bin
            ${PROJECT_SOURCE_DIR}/demo)
  set_tests_properties(windows_parity PROPERTIES LABELS "wine;windows" TIMEOUT 300)
endif()

# The fuzz corpus replayed under Wine through the cross-built targets.
if(BREM_TESTS)
  include(${PROJECT_SOURCE_DIR}/tests/win/fuzz_replay/register.cmake)
endif()
