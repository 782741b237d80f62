include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

install(TARGETS orvo EXPORT orvoTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/shared/orvo
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
  FILES_MATCHING PATTERN "*.h"
  PATTERN "posix" EXCLUDE PATTERN "windows" EXCLUDE PATTERN "internal" EXCLUDE)
install(FILES ${PROJECT_BINARY_DIR}/generated/orvo/kxversion.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/orvo)
install(EXPORT orvoTargets NAMESPACE orvo:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/orvo)

configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/orvoConfig.cmake.in
  ${PROJECT_BINARY_DIR}/orvoConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/orvo)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/orvoConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/orvoConfig.cmake ${PROJECT_BINARY_DIR}/orvoConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/orvo)
