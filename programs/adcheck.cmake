# adcheck, the directory check console tool, and the credential library it loads at run time
# by the name "kxSSPI.dll" (libkxSSPI.so, found beside the program through its rpath).
# On Windows the system's own logon stands behind it (kxsspi_windows.cpp).
if(WIN32)
  add_library(kxSSPI SHARED ${PROJECT_SOURCE_DIR}/sspi/kxsspi_windows.cpp)
else()
  add_library(kxSSPI SHARED ${PROJECT_SOURCE_DIR}/sspi/kxsspi.cpp)
endif()
target_link_libraries(kxSSPI PRIVATE orvo)
set_target_properties(kxSSPI PROPERTIES CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
if(WIN32)
  set_target_properties(kxSSPI PROPERTIES PREFIX "")  # kxSSPI.dll, beside adcheck.exe
endif()

add_executable(adcheck ${PROJECT_SOURCE_DIR}/test.cpp)
target_link_libraries(adcheck PRIVATE orvo)
set_target_properties(adcheck PROPERTIES
  BUILD_RPATH "$ORIGIN"
  INSTALL_RPATH "$ORIGIN:$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
add_dependencies(adcheck kxSSPI)

install(TARGETS adcheck kxSSPI
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
