# nlohmann/json (Debian's nlohmann-json3-dev, header only) for the programs' JSON reports, as
# the interface target orvo_nlohmann_json. A cross build for Windows finds no package for its
# own system: it takes the same headers from a folder that holds them alone, since the folder
# they sit in (/usr/include) holds the build machine's C headers too.
include_guard(GLOBAL)
add_library(orvo_nlohmann_json INTERFACE)
if(CMAKE_CROSSCOMPILING)
  find_path(ORVO_NLOHMANN_INCLUDE nlohmann/json.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH REQUIRED)
  set(ORVO_NLOHMANN_ALONE ${CMAKE_BINARY_DIR}/nlohmann-json)
  file(MAKE_DIRECTORY ${ORVO_NLOHMANN_ALONE})
  file(CREATE_LINK ${ORVO_NLOHMANN_INCLUDE}/nlohmann ${ORVO_NLOHMANN_ALONE}/nlohmann SYMBOLIC)
  target_include_directories(orvo_nlohmann_json SYSTEM INTERFACE ${ORVO_NLOHMANN_ALONE})
else()
  find_package(nlohmann_json 3.10 REQUIRED)
  target_link_libraries(orvo_nlohmann_json INTERFACE nlohmann_json::nlohmann_json)
endif()
