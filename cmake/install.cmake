# Install rules: the libraries with their public headers, the scalar-function
# module, and a CMake package so that a host can find_package(zsepa).
include(CMakePackageConfigHelpers)

set(ZSEPA_CMAKE_DIR "${CMAKE_INSTALL_LIBDIR}/cmake/zsepa")

install(TARGETS zsepa_core zsepa_sqlite zsepa_odbc
  EXPORT zsepaTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(TARGETS zsepa_sqlite_functions
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(DIRECTORY "${PROJECT_SOURCE_DIR}/include/zsepa"
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT zsepaTargets
  NAMESPACE zsepa::
  DESTINATION ${ZSEPA_CMAKE_DIR})

configure_package_config_file(
  "${PROJECT_SOURCE_DIR}/cmake/zsepaConfig.cmake.in"
  "${PROJECT_BINARY_DIR}/zsepaConfig.cmake"
  INSTALL_DESTINATION ${ZSEPA_CMAKE_DIR})
write_basic_package_version_file(
  "${PROJECT_BINARY_DIR}/zsepaConfigVersion.cmake"
  COMPATIBILITY SameMinorVersion)
install(FILES
  "${PROJECT_BINARY_DIR}/zsepaConfig.cmake"
  "${PROJECT_BINARY_DIR}/zsepaConfigVersion.cmake"
  DESTINATION ${ZSEPA_CMAKE_DIR})
