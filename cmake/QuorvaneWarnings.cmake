# Warnings for our own targets only; third-party headers stay quiet.
function(qv_set_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(QV_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
