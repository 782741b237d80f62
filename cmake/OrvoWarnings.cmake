# Warnings for every target of the project.
add_compile_options(-Wall -Wextra)
if(ORVO_WERROR)
  add_compile_options(-Werror)
endif()
