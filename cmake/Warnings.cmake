# Strict warnings for the project's own targets only; third-party headers stay quiet.
function(skorvatin_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion)
  if(SKORVATIN_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
