# Integration tests of adcheck against a throwaway Samba domain controller (scripts/testdc),
# started once for all of them by a CTest fixture and stopped afterwards. Labelled
# "integration". The program comes from this build (in-tree) or from ORVO_PROGRAM_DIR when the
# tests are built against an installed library.
# The authenticator with a stand-in credential library, found through the test's rpath under
# the name the authenticator loads (libkxSSPI.so in a folder of its own). Needs no directory.
add_library(fake_kxsspi SHARED ${CMAKE_CURRENT_LIST_DIR}/fake_kxsspi.cpp)
set_target_properties(fake_kxsspi PROPERTIES OUTPUT_NAME kxSSPI
  LIBRARY_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/fake_kxsspi CXX_VISIBILITY_PRESET hidden)
if(WIN32)
  # kxSSPI.dll in a folder of its own with the test program, where LoadLibraryA looks first.
  set_target_properties(fake_kxsspi PROPERTIES PREFIX "" RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/fake_kxsspi)
endif()
add_executable(credential_library_test ${CMAKE_CURRENT_LIST_DIR}/credential_library_test.cpp)
target_link_libraries(credential_library_test PRIVATE orvo_testsupport orvo::directory GTest::gtest_main)
set_target_properties(credential_library_test PROPERTIES BUILD_RPATH ${CMAKE_CURRENT_BINARY_DIR}/fake_kxsspi)
if(WIN32)
  set_target_properties(credential_library_test PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/fake_kxsspi)
endif()
add_dependencies(credential_library_test fake_kxsspi)
gtest_discover_tests(credential_library_test PROPERTIES LABELS unit DISCOVERY_TIMEOUT 60)

# The test domain controller runs on Linux only: the Windows build runs adcheck.exe under
# Wine without a domain, and stops here.
if(WIN32)
  if(TARGET adcheck AND CMAKE_CROSSCOMPILING_EMULATOR)
    add_test(NAME adcheck_wine COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/adcheck_wine.sh $<TARGET_FILE:adcheck>)
    set_tests_properties(adcheck_wine PROPERTIES LABELS integration TIMEOUT 300
      ENVIRONMENT "${ORVO_WINE_ENVIRONMENT};ORVO_WINE=${ORVO_WINE}")
  endif()
  return()
endif()

if(TARGET adcheck)
  set(ORVO_ADCHECK_PROGRAM $<TARGET_FILE:adcheck>)
elseif(DEFINED ORVO_PROGRAM_DIR)
  set(ORVO_ADCHECK_PROGRAM ${ORVO_PROGRAM_DIR}/adcheck)
else()
  message(STATUS "adcheck integration tests skipped: no adcheck target and no ORVO_PROGRAM_DIR")
  return()
endif()

get_filename_component(ORVO_REPO_ROOT ${CMAKE_CURRENT_LIST_DIR}/../.. ABSOLUTE)
set(ORVO_TESTDC_DIR ${CMAKE_CURRENT_BINARY_DIR}/testdc)
set(ORVO_TESTDC_ENV ${CMAKE_CURRENT_BINARY_DIR}/testdc.env)

add_test(NAME testdc_start
  COMMAND sh -c "rm -rf '${ORVO_TESTDC_DIR}' && '${ORVO_REPO_ROOT}/scripts/testdc' start '${ORVO_TESTDC_DIR}' > '${ORVO_TESTDC_ENV}'")
set_tests_properties(testdc_start PROPERTIES FIXTURES_SETUP testdc LABELS integration TIMEOUT 300)
add_test(NAME testdc_stop COMMAND ${ORVO_REPO_ROOT}/scripts/testdc stop ${ORVO_TESTDC_DIR})
set_tests_properties(testdc_stop PROPERTIES FIXTURES_CLEANUP testdc LABELS integration)

add_executable(adcheck_integration_test ${CMAKE_CURRENT_LIST_DIR}/adcheck_integration_test.cpp)
target_link_libraries(adcheck_integration_test PRIVATE orvo_testsupport GTest::gtest_main util)
target_compile_definitions(adcheck_integration_test PRIVATE ORVO_ADCHECK_PROGRAM="${ORVO_ADCHECK_PROGRAM}"
  ORVO_TEST_PEERS="${CMAKE_CURRENT_LIST_DIR}/peers.py" ORVO_FAKE_KXSSPI_DIR="${CMAKE_CURRENT_BINARY_DIR}/fake_kxsspi")
add_dependencies(adcheck_integration_test fake_kxsspi)
gtest_discover_tests(adcheck_integration_test
  TEST_PREFIX "adcheck."
  PROPERTIES LABELS integration FIXTURES_REQUIRED testdc TIMEOUT 300
    ENVIRONMENT "TESTDC_ENV_FILE=${ORVO_TESTDC_ENV}"
  DISCOVERY_TIMEOUT 60)

# What an attacker or a misled operator tries: where a password goes, forged report lines,
# refused domains, and reports that must tell the truth.
add_executable(adcheck_security_test ${CMAKE_CURRENT_LIST_DIR}/adcheck_security_test.cpp)
target_link_libraries(adcheck_security_test PRIVATE orvo_testsupport GTest::gtest_main util)
target_compile_definitions(adcheck_security_test PRIVATE ORVO_ADCHECK_PROGRAM="${ORVO_ADCHECK_PROGRAM}"
  ORVO_TEST_PEERS="${CMAKE_CURRENT_LIST_DIR}/peers.py")
gtest_discover_tests(adcheck_security_test
  TEST_PREFIX "adcheck."
  PROPERTIES LABELS integration FIXTURES_REQUIRED testdc TIMEOUT 300
    ENVIRONMENT "TESTDC_ENV_FILE=${ORVO_TESTDC_ENV}"
  DISCOVERY_TIMEOUT 60)

# adcheck for scripts: its options, exit statuses, JSON report and settings problems.
find_package(nlohmann_json 3.10 REQUIRED)
add_executable(adcheck_cli_test ${CMAKE_CURRENT_LIST_DIR}/adcheck_cli_test.cpp)
target_link_libraries(adcheck_cli_test PRIVATE orvo_testsupport GTest::gtest_main nlohmann_json::nlohmann_json)
target_compile_definitions(adcheck_cli_test PRIVATE ORVO_ADCHECK_PROGRAM="${ORVO_ADCHECK_PROGRAM}"
  ORVO_TEST_PEERS="${CMAKE_CURRENT_LIST_DIR}/peers.py")
gtest_discover_tests(adcheck_cli_test
  TEST_PREFIX "adcheck."
  PROPERTIES LABELS integration FIXTURES_REQUIRED testdc TIMEOUT 300
    ENVIRONMENT "TESTDC_ENV_FILE=${ORVO_TESTDC_ENV}"
  DISCOVERY_TIMEOUT 60)
