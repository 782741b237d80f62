# The library as others use it: its symbols. The library is the one this build made
# (in-tree) or the installed one the tests are built against.
if(WIN32)
  return()
endif()

add_test(NAME library_global_names
  COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/global_names.sh $<TARGET_FILE:orvo::orvo>)
set_tests_properties(library_global_names PROPERTIES LABELS unit)
