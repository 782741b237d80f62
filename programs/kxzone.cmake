# kxzone, the zone master-file checker and formatter.
add_executable(kxzone ${PROJECT_SOURCE_DIR}/tools/kxzone.cpp)
target_link_libraries(kxzone PRIVATE orvo::orvo)

# --json is written with nlohmann/json (Debian's nlohmann-json3-dev, header only). A cross
# build for Windows finds no package for its own system: it takes the same headers from a
# folder that holds them alone, since the folder they sit in (/usr/include) holds the build
# system's C headers too.
if(CMAKE_CROSSCOMPILING)
  find_path(ORVO_NLOHMANN_INCLUDE nlohmann/json.hpp NO_CMAKE_FIND_ROOT_PATH REQUIRED)
  set(ORVO_NLOHMANN_ALONE ${CMAKE_BINARY_DIR}/nlohmann-json)
  file(MAKE_DIRECTORY ${ORVO_NLOHMANN_ALONE})
  file(CREATE_LINK ${ORVO_NLOHMANN_INCLUDE}/nlohmann ${ORVO_NLOHMANN_ALONE}/nlohmann SYMBOLIC)
  target_include_directories(kxzone SYSTEM PRIVATE ${ORVO_NLOHMANN_ALONE})
else()
  find_package(nlohmann_json 3.2 REQUIRED)
  target_link_libraries(kxzone PRIVATE nlohmann_json::nlohmann_json)
endif()
