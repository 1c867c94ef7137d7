# The name the loader knows a shared library by (its SONAME), for the libraries the program
# opens itself when it first needs them instead of linking them.
#   qor_soname(VAR LIBRARY_FILE)
function(qor_soname var library)
  execute_process(COMMAND ${CMAKE_OBJDUMP} -p ${library} OUTPUT_VARIABLE dump
                  RESULT_VARIABLE failed ERROR_QUIET)
  string(REGEX MATCH "SONAME +([^ \n]+)" found "${dump}")
  if(failed OR NOT found)
    message(FATAL_ERROR "No SONAME found in ${library}")
  endif()
  set(${var} ${CMAKE_MATCH_1} PARENT_SCOPE)
endfunction()
