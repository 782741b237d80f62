# The library as others use it: its symbols, a program of its own built on the installed
# library (CMake package and pkg-config), and the credential plugin's exports. The library is
# the one this build made (in-tree, installed into a folder of the build for the consumer) or
# the installed one the tests are built against.
if(WIN32)
  return()
endif()

add_test(NAME library_global_names
  COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/global_names.sh $<TARGET_FILE:orvo::orvo>)
set_tests_properties(library_global_names PROPERTIES LABELS unit)

if(TARGET orvo)
  set(ORVO_CONSUMER_PREFIX ${CMAKE_CURRENT_BINARY_DIR}/library-prefix)
  set(ORVO_CONSUMER_PACKAGE ${ORVO_CONSUMER_PREFIX}/${CMAKE_INSTALL_LIBDIR}/cmake/orvo)
  add_test(NAME library_install
    COMMAND sh -c "rm -rf \"$1\" && \"$2\" --install \"$3\" --prefix \"$1\" --component dev"
            sh ${ORVO_CONSUMER_PREFIX} ${CMAKE_COMMAND} ${PROJECT_BINARY_DIR})
  set_tests_properties(library_install PROPERTIES FIXTURES_SETUP orvo_installed LABELS library)
else()
  set(ORVO_CONSUMER_PACKAGE ${orvo_DIR})
endif()
add_test(NAME library_consumer
  COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/consumer.sh ${ORVO_CONSUMER_PACKAGE} ${CMAKE_CURRENT_BINARY_DIR}/consumer)
set_tests_properties(library_consumer PROPERTIES LABELS library TIMEOUT 300)
if(TARGET orvo)
  set_tests_properties(library_consumer PROPERTIES FIXTURES_REQUIRED orvo_installed)
endif()

# The manual pages, and kxzone's bash completion, offer what the programs' --help offers: the
# programs this build made, or those of ORVO_PROGRAM_DIR.
foreach(program adcheck kxzone)
  if(TARGET ${program})
    set(path $<TARGET_FILE:${program}>)
  elseif(DEFINED ORVO_PROGRAM_DIR)
    set(path ${ORVO_PROGRAM_DIR}/${program})
  else()
    message(STATUS "manual page test of ${program} skipped: no ${program} target and no ORVO_PROGRAM_DIR")
    continue()
  endif()
  add_test(NAME library_manpage_${program}
    COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/manpage.sh ${path} ${CMAKE_CURRENT_LIST_DIR}/../../man/${program}.1.in)
  set_tests_properties(library_manpage_${program} PROPERTIES LABELS library)
  if(program STREQUAL "kxzone")
    add_test(NAME library_completion_kxzone
      COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/completion.sh ${path} ${CMAKE_CURRENT_LIST_DIR}/../../completion/kxzone)
    set_tests_properties(library_completion_kxzone PROPERTIES LABELS library)
  endif()
endforeach()

# The plugin this build made, or the one installed in the project's folder under the
# library folder.
if(TARGET kxSSPI)
  set(ORVO_PLUGIN $<TARGET_FILE:kxSSPI>)
else()
  get_filename_component(ORVO_PLUGIN ${orvo_DIR}/../../orvo/libkxSSPI.so ABSOLUTE)
  if(NOT EXISTS ${ORVO_PLUGIN})
    message(STATUS "credential plugin test skipped: no ${ORVO_PLUGIN}")
    return()
  endif()
endif()
add_test(NAME library_plugin_exports COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/plugin_exports.sh ${ORVO_PLUGIN})
set_tests_properties(library_plugin_exports PROPERTIES LABELS library)
