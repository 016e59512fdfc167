# Installation as a C library's users expect: the library, the header, the
# tools, a CMake package (find_package(brem32)) and a pkg-config file.
include(CMakePackageConfigHelpers)

install(TARGETS brem32 EXPORT brem32Targets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(TARGETS brem RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET zorpack)
  install(TARGETS zorpack RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
if(WIN32)
  install(FILES ${PROJECT_SOURCE_DIR}/src/exports/brem32.def DESTINATION ${CMAKE_INSTALL_LIBDIR})
endif()

install(EXPORT brem32Targets NAMESPACE brem32:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/brem32)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/brem32Config.cmake.in
  ${CMAKE_BINARY_DIR}/brem32Config.cmake INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/brem32)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/brem32ConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/brem32Config.cmake ${CMAKE_BINARY_DIR}/brem32ConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/brem32)

configure_file(${PROJECT_SOURCE_DIR}/cmake/brem32.pc.in ${CMAKE_BINARY_DIR}/brem32.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/brem32.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
