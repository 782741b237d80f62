# adcheck, the directory check console tool, and the credential library it loads at run time
# by the name "kxSSPI.dll" (libkxSSPI.so, found through adcheck's rpath: beside the program in
# the build tree, in the project's own folder under the library folder once installed).
# On Windows the system's own logon stands behind it (kxsspi_windows.cpp).
if(WIN32)
  add_library(kxSSPI SHARED ${PROJECT_SOURCE_DIR}/sspi/kxsspi_windows.cpp)
else()
  add_library(kxSSPI SHARED ${PROJECT_SOURCE_DIR}/sspi/kxsspi.cpp)
endif()
target_link_libraries(kxSSPI PRIVATE orvo::directory)
set_target_properties(kxSSPI PROPERTIES CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
if(WIN32)
  set_target_properties(kxSSPI PROPERTIES PREFIX "")  # kxSSPI.dll, beside adcheck.exe
else()
  # Only the two entry points leave the plugin: the library linked into it stays inside.
  set(ORVO_KXSSPI_EXPORTS ${PROJECT_SOURCE_DIR}/sspi/kxsspi.map)
  target_link_options(kxSSPI PRIVATE LINKER:--version-script=${ORVO_KXSSPI_EXPORTS})
  set_target_properties(kxSSPI PROPERTIES LINK_DEPENDS ${ORVO_KXSSPI_EXPORTS}
    VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
endif()

# The command line and the JSON report live beside the dialogue, outside the library.
include(${PROJECT_SOURCE_DIR}/cmake/OrvoJson.cmake)
add_executable(adcheck ${PROJECT_SOURCE_DIR}/test.cpp
  ${PROJECT_SOURCE_DIR}/programs/adcheck/kxadcheckoptions.cpp
  ${PROJECT_SOURCE_DIR}/programs/adcheck/kxadcheckreport.cpp)
target_include_directories(adcheck PRIVATE ${PROJECT_SOURCE_DIR}/programs/adcheck)
target_link_libraries(adcheck PRIVATE orvo::orvo orvo::directory orvo_nlohmann_json)
# The installed rpath names the plugin's own folder only, never the public library folder.
set_target_properties(adcheck PROPERTIES
  BUILD_RPATH "$ORIGIN"
  INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}/orvo")
add_dependencies(adcheck kxSSPI)
