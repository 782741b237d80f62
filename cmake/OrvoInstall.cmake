# What is installed, by component (the Debian packages of cmake/OrvoPackage.cmake):
#   dev      headers, the static libraries (or a shared build's link names), the CMake package
#            and the pkg-config files                                  -> liborvo-dev
#   lib      a shared build's liborvo.so.MAJOR and liborvo-directory.so.MAJOR
#   adcheck  adcheck, its credential library in the project's own folder under the library
#            folder, and its manual page                               -> adcheck
#   kxzone   kxzone, its manual page and its bash completion           -> kxzone
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

install(TARGETS orvo orvo_directory EXPORT orvoTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT lib NAMELINK_COMPONENT dev
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT lib)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/shared/orvo
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT dev
  FILES_MATCHING PATTERN "*.h"
  PATTERN "posix" EXCLUDE PATTERN "windows" EXCLUDE PATTERN "internal" EXCLUDE)
install(FILES ${PROJECT_BINARY_DIR}/generated/orvo/kxversion.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/orvo COMPONENT dev)
install(EXPORT orvoTargets NAMESPACE orvo:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/orvo COMPONENT dev)

configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/orvoConfig.cmake.in
  ${PROJECT_BINARY_DIR}/orvoConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/orvo)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/orvoConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/orvoConfig.cmake ${PROJECT_BINARY_DIR}/orvoConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/orvo COMPONENT dev)

# pkg-config files: orvo.pc, and orvo-directory.pc for the directory client. Their prefix is
# the one installed into (cmake --install --prefix, or the packages' /usr), so the
# configured files keep @ORVO_INSTALL_PREFIX@ for the install step to fill in. A static
# library's users link its system libraries themselves (Libs); a shared one brings them along.
if(NOT WIN32)
  set(ORVO_INSTALL_PREFIX "@ORVO_INSTALL_PREFIX@")
  foreach(kind LIB INCLUDE)
    if(IS_ABSOLUTE "${CMAKE_INSTALL_${kind}DIR}")
      set(ORVO_PC_${kind}DIR "${CMAKE_INSTALL_${kind}DIR}")
    else()
      set(ORVO_PC_${kind}DIR "\${prefix}/${CMAKE_INSTALL_${kind}DIR}")
    endif()
  endforeach()
  set(ORVO_PC_CORE_LIBS "-pthread")
  foreach(library IN LISTS CMAKE_DL_LIBS)
    string(APPEND ORVO_PC_CORE_LIBS " -l${library}")
  endforeach()
  get_target_property(ORVO_PC_DIRECTORY_LINKS orvo_directory INTERFACE_LINK_LIBRARIES)
  list(REMOVE_ITEM ORVO_PC_DIRECTORY_LINKS orvo)
  list(TRANSFORM ORVO_PC_DIRECTORY_LINKS PREPEND "-l")
  list(JOIN ORVO_PC_DIRECTORY_LINKS " " ORVO_PC_DIRECTORY_LIBS)
  foreach(part CORE DIRECTORY)
    if(BUILD_SHARED_LIBS)
      set(ORVO_PC_${part}_PUBLIC "")
      set(ORVO_PC_${part}_PRIVATE "${ORVO_PC_${part}_LIBS}")
    else()
      set(ORVO_PC_${part}_PUBLIC " ${ORVO_PC_${part}_LIBS}")
      set(ORVO_PC_${part}_PRIVATE "")
    endif()
  endforeach()
  foreach(name orvo orvo-directory)
    configure_file(${PROJECT_SOURCE_DIR}/cmake/${name}.pc.in ${PROJECT_BINARY_DIR}/pkgconfig/${name}.pc.in @ONLY)
    install(CODE "
      file(READ \"${PROJECT_BINARY_DIR}/pkgconfig/${name}.pc.in\" text)
      # A prefix given relative (cmake --install --prefix stage) is relative to where the
      # install runs; the file must name it wherever it is read from.
      get_filename_component(prefix \"\${CMAKE_INSTALL_PREFIX}\" ABSOLUTE BASE_DIR \"\$ENV{PWD}\")
      string(REPLACE \"@ORVO_INSTALL_PREFIX@\" \"\${prefix}\" text \"\${text}\")
      file(WRITE \"${PROJECT_BINARY_DIR}/pkgconfig/${name}.pc\" \"\${text}\")
      file(INSTALL DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/pkgconfig\"
           TYPE FILE FILES \"${PROJECT_BINARY_DIR}/pkgconfig/${name}.pc\")"
      COMPONENT dev)
  endforeach()
endif()

# The programs, with their manual pages (the version filled in, compressed as Debian keeps
# them) and kxzone's bash completion.
if(TARGET adcheck)
  install(TARGETS adcheck RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT adcheck)
  if(WIN32)
    install(TARGETS kxSSPI RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT adcheck)
  else()
    # The plugin's link name (libkxSSPI.so) is what the loader opens, so it goes along.
    install(TARGETS kxSSPI LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}/orvo COMPONENT adcheck)
  endif()
endif()
if(TARGET kxzone)
  install(TARGETS kxzone RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT kxzone)
  if(NOT WIN32)
    install(FILES ${PROJECT_SOURCE_DIR}/completion/kxzone
      DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions COMPONENT kxzone)
  endif()
endif()
if(NOT WIN32)
  foreach(program adcheck kxzone)
    if(TARGET ${program})
      set(page ${PROJECT_BINARY_DIR}/man/${program}.1)
      configure_file(${PROJECT_SOURCE_DIR}/man/${program}.1.in ${page} @ONLY)
      add_custom_command(OUTPUT ${page}.gz
        COMMAND sh -c "gzip -9n -c \"$1\" > \"$1.gz\"" sh ${page}
        DEPENDS ${page} VERBATIM)
      add_custom_target(${program}_manpage ALL DEPENDS ${page}.gz)
      install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT ${program})
    endif()
  endforeach()
endif()
