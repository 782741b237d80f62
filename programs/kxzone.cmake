# kxzone, the zone master-file checker and formatter.
add_executable(kxzone ${PROJECT_SOURCE_DIR}/tools/kxzone.cpp)
target_link_libraries(kxzone PRIVATE orvo::orvo)

# --json is written with nlohmann/json.
include(${PROJECT_SOURCE_DIR}/cmake/OrvoJson.cmake)
target_link_libraries(kxzone PRIVATE orvo_nlohmann_json)
