# Included by cmake/WindowsBuild.cmake for each Windows build: one Wine test
# per fuzz target, replaying fuzz/corpus/<name>/ through
# fuzz_replay_<name>.exe of the cross build in ${bin}, run by ${run}; the
# tests join ${run_tests}. An input running over 20 seconds counts as a
# hang; the whole corpus of a target takes a few seconds.
file(GLOB brem_fuzz_sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/fuzz/*.cpp)
foreach(src ${brem_fuzz_sources})
  get_filename_component(name ${src} NAME_WE)
  file(STRINGS ${src} entry REGEX "LLVMFuzzerTestOneInput")
  if(NOT entry OR NOT IS_DIRECTORY ${PROJECT_SOURCE_DIR}/fuzz/corpus/${name})
    continue()
  endif()
  # (The cross build leaves out a target needing clang's FuzzedDataProvider.h
  # when clang is not installed.)
  file(STRINGS ${src} needs_fdp REGEX "FuzzedDataProvider.h")
  file(GLOB fdp /usr/lib/llvm-*/lib/clang/*/include/fuzzer/FuzzedDataProvider.h)
  if(needs_fdp AND NOT fdp)
    continue()
  endif()
  add_test(NAME ${p}_fuzz_replay_${name}
    COMMAND ${run} ${bin}/fuzz-replay/fuzz_replay_${name}.exe --input-seconds 20
            ${PROJECT_SOURCE_DIR}/fuzz/corpus/${name}
    WORKING_DIRECTORY ${bin})
  set_tests_properties(${p}_fuzz_replay_${name} PROPERTIES LABELS fuzz TIMEOUT 120)
  list(APPEND run_tests ${p}_fuzz_replay_${name})
endforeach()
