# The Windows half: brem32.dll and its test programs, cross-built with
# mingw-w64 twice, for 32-bit Windows (i686, into win32/ of this build) and
# for 64-bit Windows (x86_64, into win64/), then run under Wine by CTest.
#
# Labels: "windows" every Windows test; "win32" and "win64" one build's;
# "wine" the tests that run programs under Wine. The 64-bit build runs under
# 64-bit Wine on any x86_64 machine. The 32-bit build is checked statically
# everywhere (export table, PE headers and imports, the zip's contents); its
# programs run only where the machine runs 32-bit code, which
# tests/win/wine.sh finds out by starting a tiny i386 program: elsewhere
# each of those tests prints why and is reported skipped.
find_program(BREM_WINE wine)
if(NOT BREM_WINE)
  message(WARNING "wine not found: the Windows builds and their tests are skipped")
  return()
endif()

include(ExternalProject)
set(BREM_WINE_SH ${PROJECT_SOURCE_DIR}/tests/win/wine.sh)
set(BREM_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine-prefix)

if(BREM_TESTS)
  # One Wine prefix per test run, made fresh before the first Windows test
  # that needs it and stopped after the last.
  add_test(NAME wine_prefix_setup COMMAND bash ${BREM_WINE_SH} prefix ${BREM_WINE_PREFIX})
  add_test(NAME wine_prefix_stop COMMAND bash ${BREM_WINE_SH} stop ${BREM_WINE_PREFIX})
  set_tests_properties(wine_prefix_setup PROPERTIES FIXTURES_SETUP wine_prefix LABELS "wine;windows"
    TIMEOUT 600)
  set_tests_properties(wine_prefix_stop PROPERTIES FIXTURES_CLEANUP wine_prefix LABELS "wine;windows")
endif()

# brem_windows_build(BITS TRIPLET): one cross build and its tests.
function(brem_windows_build bits triplet)
  find_program(BREM_MINGW_CXX_${bits} ${triplet}-g++)
  if(NOT BREM_MINGW_CXX_${bits})
    message(WARNING "mingw-w64 (${triplet}) not found: the ${bits}-bit Windows build and its tests are skipped")
    return()
  endif()
  if(bits EQUAL 32)
    set(toolchain ${PROJECT_SOURCE_DIR}/cmake/mingw-w64-i686.cmake)
  else()
    set(toolchain ${PROJECT_SOURCE_DIR}/cmake/mingw-w64-x86_64.cmake)
  endif()
  set(dir ${CMAKE_BINARY_DIR}/win${bits})
  set(bin ${dir}/bin)
  ExternalProject_Add(brem32_win${bits}
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${dir}
    CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${toolchain}
               -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBREM_TESTS=${BREM_TESTS} -DBREM_WINDOWS=OFF
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON
    USES_TERMINAL_BUILD ON)
  if(NOT BREM_TESTS)
    return()
  endif()

  set(p win${bits})
  set(static_labels "windows;${p};static")
  set(run_labels "wine;windows;${p}")
  set(data ${PROJECT_SOURCE_DIR}/tests/data)
  # Every run-time test goes through the prefix and the loader of its width.
  set(run bash ${BREM_WINE_SH} run ${bits})
  set(run_tests "")

  # The DLL exports exactly the host's names and nothing else.
  find_program(BREM_OBJDUMP_${bits} ${triplet}-objdump REQUIRED)
  add_test(NAME ${p}_export_table
    COMMAND ${CMAKE_COMMAND} -DLIB=${bin}/brem32.dll
            -DEXPECTED=${PROJECT_SOURCE_DIR}/src/exports/brem32.def -DMODE=pe -DOBJDUMP=${BREM_OBJDUMP_${bits}}
            -DHOST_NAMES=${PROJECT_SOURCE_DIR}/tests/exports.txt
            -P ${PROJECT_SOURCE_DIR}/tests/check_exports.cmake)
  set_tests_properties(${p}_export_table PROPERTIES LABELS "${static_labels}")

  # The test host: loads brem32.dll and calls every export by its name.
  add_test(NAME ${p}_host COMMAND ${run} ${bin}/wintest.exe ${data} WORKING_DIRECTORY ${bin})
  set_tests_properties(${p}_host PROPERTIES TIMEOUT 600)
  list(APPEND run_tests ${p}_host)

  # The release zip as a host developer receives it: its contents, README and
  # binaries checked, host.c built against it alone (static), then run.
  add_test(NAME ${p}_release_zip
    COMMAND ${CMAKE_COMMAND} -E env CPACK=${CMAKE_CPACK_COMMAND}
            bash ${PROJECT_SOURCE_DIR}/tests/release/check-windows-zip.sh check ${dir})
  set_tests_properties(${p}_release_zip PROPERTIES LABELS "${static_labels}" TIMEOUT 600
    FIXTURES_SETUP ${p}_zip)
  add_test(NAME ${p}_release_zip_run
    COMMAND ${run} bash ${PROJECT_SOURCE_DIR}/tests/release/check-windows-zip.sh run ${dir})
  set_tests_properties(${p}_release_zip_run PROPERTIES TIMEOUT 600 FIXTURES_REQUIRED ${p}_zip)
  list(APPEND run_tests ${p}_release_zip_run)

  # The dial-up exports, each run with the remote access library it needs:
  # the stand-in beside wintest.exe preferred over Wine's own, or none.
  add_test(NAME ${p}_dial
    COMMAND ${CMAKE_COMMAND} -E env "WINEDLLOVERRIDES=mscoree,mshtml=$<SEMICOLON>rasapi32=n" BREM_RAS=standin
            ${run} ${bin}/wintest.exe ${data} dial_standin
    WORKING_DIRECTORY ${bin})
  add_test(NAME ${p}_dial_without_remote_access
    COMMAND ${CMAKE_COMMAND} -E env "WINEDLLOVERRIDES=mscoree,mshtml=$<SEMICOLON>rasapi32=d" BREM_RAS=disabled
            ${run} ${bin}/wintest.exe ${data} dial_without
    WORKING_DIRECTORY ${bin})
  set_tests_properties(${p}_dial ${p}_dial_without_remote_access PROPERTIES
    TIMEOUT 120 FAIL_REGULAR_EXPRESSION "FAIL|skipped:|\n0 passed")
  list(APPEND run_tests ${p}_dial ${p}_dial_without_remote_access)

  # The fault sweeps against the Win32 layer (the test programs link the core
  # statically); each prints the failure points it swept.
  foreach(name faults_test news_faults_test export_faults_test writer_faults_test)
    add_test(NAME ${p}_${name} COMMAND ${run} ${bin}/win_${name}.exe WORKING_DIRECTORY ${bin})
    set_tests_properties(${p}_${name} PROPERTIES TIMEOUT 1800)
    list(APPEND run_tests ${p}_${name})
  endforeach()

  # A spool file held open by another process (the held cases of the test
  # host) and the compressor found beside the DLL with the host elsewhere.
  add_test(NAME ${p}_held_files COMMAND ${run} ${bin}/wintest.exe ${data} held WORKING_DIRECTORY ${bin})
  add_test(NAME ${p}_zorpack_search
    COMMAND ${run} bash ${PROJECT_SOURCE_DIR}/tests/win/zorpack-search.sh ${bin} ${PROJECT_SOURCE_DIR}/demo)
  set_tests_properties(${p}_held_files ${p}_zorpack_search PROPERTIES
    TIMEOUT 300 FAIL_REGULAR_EXPRESSION "FAIL|\n0 passed")
  list(APPEND run_tests ${p}_held_files ${p}_zorpack_search)

  # One scenario through brem with libbrem32.so and through brem.exe with
  # brem32.dll under Wine: the two trees must be byte-identical.
  if(TARGET brem)
    add_test(NAME ${p}_parity
      COMMAND ${run} bash ${PROJECT_SOURCE_DIR}/tests/win/parity.sh $<TARGET_FILE:brem> ${bin}
              ${PROJECT_SOURCE_DIR}/demo)
    set_tests_properties(${p}_parity PROPERTIES TIMEOUT 300)
    list(APPEND run_tests ${p}_parity)
  endif()

  # The fuzz corpus replayed through the cross-built targets.
  include(${PROJECT_SOURCE_DIR}/tests/win/fuzz_replay/register.cmake)

  set_property(TEST ${run_tests} APPEND PROPERTY FIXTURES_REQUIRED wine_prefix)
  set_property(TEST ${run_tests} APPEND PROPERTY ENVIRONMENT "WINEPREFIX=${BREM_WINE_PREFIX}")
  set_property(TEST ${run_tests} APPEND PROPERTY LABELS ${run_labels})
  if(bits EQUAL 32)
    # tests/win/wine.sh's "this machine runs no 32-bit code".
    set_tests_properties(${run_tests} PROPERTIES SKIP_RETURN_CODE 77)
  endif()
endfunction()

brem_windows_build(64 x86_64-w64-mingw32)
brem_windows_build(32 i686-w64-mingw32)
