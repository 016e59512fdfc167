# Release packages, built with `cpack` in a build directory (scripts/package.sh
# does the whole run):
#  - each cross build (mingw-w64, i686 and x86_64) makes a Windows zip for host
#    developers, brem32-VERSION-win32.zip or brem32-VERSION-win64.zip:
#    brem32.dll, its .def, an import library for MSVC (brem32.lib) and one for
#    mingw (libbrem32.dll.a), include/brem32.h, brem.exe, zorpack.exe (all
#    stripped, with a version resource), a README for host developers, the
#    sample host.c, LICENSE, the third-party notices and the reference in
#    docs/; and a second zip with the binaries' debugging information;
#  - the native build installs the library, header, CMake package, pkg-config
#    file, brem, zorpack, their man pages and the reference, from which
#    debian/ makes the Debian packages.
set(CPACK_PACKAGE_NAME brem32)
set(CPACK_PACKAGE_VENDOR "brem32")
# The project has no public mail address; .invalid says so honestly.
set(BREM_MAINTAINER "the brem32 developers <maintainers@brem32.invalid>")
set(CPACK_PACKAGE_CONTACT "${BREM_MAINTAINER}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "Message pre-processing library for a dial-up UUCP mail and news client")
set(CPACK_PACKAGE_DESCRIPTION
  "brem32 imports inbound UUCP mail and news from a spool directory into a\nflat-file message store with index records, exports outgoing mail and news as\nUUCP jobs, reads and writes stored messages in chunks, and decodes and encodes\ncontent (MIME base64, quoted-printable, UU and XX).")
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_PACKAGE_CHECKSUM SHA256)
set(CPACK_SOURCE_IGNORE_FILES "/build.*/" "/\\\\.git/")

if(WIN32)
  # Only what a host developer needs goes into the zip: the installation of
  # the CMake package, with its linker-made import library, stays out. The
  # 32-bit and the 64-bit build each make their own zips, named for their
  # width (win32, win64); the DLL keeps its name in both.
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(BREM_WIN_SYSTEM win64)
  else()
    set(BREM_WIN_SYSTEM win32)
  endif()
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME ${BREM_WIN_SYSTEM})
  set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
  set(CPACK_PACKAGE_FILE_NAME brem32-${PROJECT_VERSION}-${BREM_WIN_SYSTEM})

  # brem32.lib for MSVC, made like libbrem32.dll.a from the .def by dlltool:
  # its symbols are the names the MSVC compiler of the build's width emits
  # for the header's declarations (_IMPMAIL@20 for 32-bit __stdcall, the bare
  # name for 64-bit), and they import the DLL's exported names.
  set(BREM_MSVC_IMPORT_LIB ${CMAKE_BINARY_DIR}/lib/brem32.lib)
  add_custom_command(OUTPUT ${BREM_MSVC_IMPORT_LIB}
    COMMAND ${BREM_DLLTOOL} -k -d ${BREM_IMPORT_DEF} -l ${BREM_MSVC_IMPORT_LIB} -D brem32.dll
    DEPENDS ${PROJECT_SOURCE_DIR}/src/exports/brem32.def brem32_importlib
    COMMENT "MSVC import library for brem32.dll")
  add_custom_target(brem32_msvc_importlib ALL DEPENDS ${BREM_MSVC_IMPORT_LIB})

  # Two zips: the release, and beside it the debugging information of its
  # binaries for crash analysis.
  set(CPACK_COMPONENTS_ALL release debug)
  set(CPACK_COMPONENTS_GROUPING IGNORE)
  set(CPACK_ARCHIVE_RELEASE_FILE_NAME brem32-${PROJECT_VERSION}-${BREM_WIN_SYSTEM})
  set(CPACK_ARCHIVE_DEBUG_FILE_NAME brem32-${PROJECT_VERSION}-${BREM_WIN_SYSTEM}-debug)

  # Each binary carries a version resource, and ships stripped: its
  # debugging information goes into NAME.debug, which the stripped file
  # names in its .gnu_debuglink section.
  enable_language(RC)
  find_program(BREM_OBJCOPY ${TOOLCHAIN_PREFIX}-objcopy REQUIRED)
  set(BREM_RELEASE_DIR ${CMAKE_BINARY_DIR}/release)
  set(shipped brem32 brem)
  if(TARGET zorpack)
    list(APPEND shipped zorpack)
  endif()
  set(BREM_RC_DESCRIPTION_brem32 "brem32 message pre-processing library")
  set(BREM_RC_DESCRIPTION_brem "brem command-line host for brem32")
  set(BREM_RC_DESCRIPTION_zorpack "zorpack news compressor")
  foreach(t IN LISTS shipped)
    get_target_property(type ${t} TYPE)
    if(type STREQUAL "SHARED_LIBRARY")
      set(BREM_RC_TYPE VFT_DLL)
      set(BREM_RC_FILE ${t}.dll)
    else()
      set(BREM_RC_TYPE VFT_APP)
      set(BREM_RC_FILE ${t}.exe)
    endif()
    set(BREM_RC_NAME ${t})
    set(BREM_RC_DESCRIPTION "${BREM_RC_DESCRIPTION_${t}}")
    configure_file(${PROJECT_SOURCE_DIR}/cmake/release/version.rc.in ${CMAKE_BINARY_DIR}/rc/${t}.rc @ONLY)
    target_sources(${t} PRIVATE ${CMAKE_BINARY_DIR}/rc/${t}.rc)

    set(stripped ${BREM_RELEASE_DIR}/${BREM_RC_FILE})
    set(debug ${BREM_RELEASE_DIR}/${BREM_RC_FILE}.debug)
    add_custom_command(OUTPUT ${stripped} ${debug}
      COMMAND ${BREM_OBJCOPY} --only-keep-debug $<TARGET_FILE:${t}> ${debug}
      COMMAND ${BREM_OBJCOPY} --strip-all $<TARGET_FILE:${t}> ${stripped}
      COMMAND ${BREM_OBJCOPY} --add-gnu-debuglink=${BREM_RC_FILE}.debug ${stripped}
      WORKING_DIRECTORY ${BREM_RELEASE_DIR}
      DEPENDS ${t}
      COMMENT "Stripped ${BREM_RC_FILE} and its debugging information")
    add_custom_target(${t}_stripped ALL DEPENDS ${stripped} ${debug})
    install(FILES ${stripped} DESTINATION . COMPONENT release)
    install(FILES ${debug} DESTINATION . COMPONENT debug)
  endforeach()
  file(MAKE_DIRECTORY ${BREM_RELEASE_DIR})

  # The DLL and the programs side by side at the top of the zip: brem.exe
  # loads brem32.dll from its own directory and the library starts
  # zorpack.exe from there too.
  install(FILES ${BREM_DLL_DEF} ${BREM_MSVC_IMPORT_LIB}
          ${CMAKE_BINARY_DIR}/lib/libbrem32.dll.a
    DESTINATION . COMPONENT release)
  install(FILES ${PROJECT_SOURCE_DIR}/include/brem32.h DESTINATION include COMPONENT release)
  # The README speaks to host developers; the sample host is the one the
  # release check builds against the zip.
  set(BREM_VERSION ${PROJECT_VERSION})
  if(BREM_WIN_SYSTEM STREQUAL win64)
    set(BREM_BITS 64)
    set(BREM_OLDEST_WINDOWS "Windows XP x64 Edition")
    set(BREM_MINGW_TRIPLET x86_64-w64-mingw32)
    set(BREM_MSVC_TOOLS "x64")
    set(BREM_IMPORT_NAMES "the header's names (`IMPMAIL`; `EXTRACTMESSAGE` and `UUENCODE` too)")
    set(BREM_OTHER_SYSTEM win32)
  else()
    set(BREM_BITS 32)
    set(BREM_OLDEST_WINDOWS "Windows XP")
    set(BREM_MINGW_TRIPLET i686-w64-mingw32)
    set(BREM_MSVC_TOOLS "x86")
    set(BREM_IMPORT_NAMES "the names a 32-bit compiler gives `__stdcall` functions (`_IMPMAIL@20`)")
    set(BREM_OTHER_SYSTEM win64)
  endif()
  configure_file(${PROJECT_SOURCE_DIR}/cmake/release/README-windows.md ${CMAKE_BINARY_DIR}/release-README.md @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/release-README.md DESTINATION . RENAME README.md COMPONENT release)
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/cmake/release/THIRD-PARTY-NOTICES.txt
          ${PROJECT_SOURCE_DIR}/tests/release/host.c
    DESTINATION . COMPONENT release)
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/cmake/release/THIRD-PARTY-NOTICES.txt
    DESTINATION . COMPONENT debug)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION docs COMPONENT release
    FILES_MATCHING PATTERN "*.md" PATTERN "*.1")
else()
  # The Debian packages (libbrem32-1, libbrem32-dev, brem32-tools) are built
  # from debian/ by dpkg-buildpackage (scripts/package.sh deb), which installs
  # this project into its staging tree and splits it. What is installed here
  # serves that and an installation from the source tree alike; cpack makes
  # a plain tarball of it.
  set(CPACK_GENERATOR TGZ)

  # Man pages, compressed as Debian keeps them.
  find_program(BREM_GZIP gzip)
  set(man_pages brem)
  if(TARGET zorpack)
    list(APPEND man_pages zorpack)
  endif()
  foreach(page IN LISTS man_pages)
    set(src ${PROJECT_SOURCE_DIR}/docs/man/${page}.1)
    if(BREM_GZIP)
      set(out ${CMAKE_BINARY_DIR}/man/${page}.1.gz)
      add_custom_command(OUTPUT ${out}
        COMMAND ${CMAKE_COMMAND} -E copy ${src} ${CMAKE_BINARY_DIR}/man/${page}.1
        COMMAND ${BREM_GZIP} -9 -n -f ${CMAKE_BINARY_DIR}/man/${page}.1
        DEPENDS ${src} VERBATIM)
      add_custom_target(man_${page} ALL DEPENDS ${out})
      install(FILES ${out} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    else()
      install(FILES ${src} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    endif()
  endforeach()
  install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/debian/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs
    FILES_MATCHING PATTERN "*.md" PATTERN man EXCLUDE)
  # bash completes brem's verbs and options.
  install(FILES ${PROJECT_SOURCE_DIR}/tools/brem/brem.bash-completion
    DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME brem)
endif()

include(CPack)
