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

# The command line and the JSON report live beside the dialogue, outside the library. JSON is
# written with nlohmann's header-only library; the Windows cross build takes the same headers
# from the build machine, through a folder that holds them alone (the machine's /usr/include
# would bring its C library's headers along).
if(CMAKE_CROSSCOMPILING)
  find_path(ORVO_NLOHMANN_JSON_DIR nlohmann/json.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH REQUIRED)
  file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/nlohmann-json)
  file(CREATE_LINK ${ORVO_NLOHMANN_JSON_DIR}/nlohmann ${CMAKE_BINARY_DIR}/nlohmann-json/nlohmann SYMBOLIC)
  add_library(orvo_nlohmann_json INTERFACE)
  target_include_directories(orvo_nlohmann_json SYSTEM INTERFACE ${CMAKE_BINARY_DIR}/nlohmann-json)
else()
  find_package(nlohmann_json 3.10 REQUIRED)
  add_library(orvo_nlohmann_json INTERFACE)
  target_link_libraries(orvo_nlohmann_json INTERFACE nlohmann_json::nlohmann_json)
endif()

add_executable(adcheck ${PROJECT_SOURCE_DIR}/test.cpp
  ${PROJECT_SOURCE_DIR}/programs/adcheck/kxadcheckoptions.cpp
  ${PROJECT_SOURCE_DIR}/programs/adcheck/kxadcheckreport.cpp)
target_include_directories(adcheck PRIVATE ${PROJECT_SOURCE_DIR}/programs/adcheck)
target_link_libraries(adcheck PRIVATE orvo orvo_nlohmann_json)
set_target_properties(adcheck PROPERTIES
  BUILD_RPATH "$ORIGIN"
  INSTALL_RPATH "$ORIGIN:$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
add_dependencies(adcheck kxSSPI)

install(TARGETS adcheck kxSSPI
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
