# vrel_set_warnings(<target>): the project's warning level, as errors when
# VREL_WARNINGS_AS_ERRORS is on (the presets turn it on).
function(vrel_set_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra
    $<$<BOOL:${VREL_WARNINGS_AS_ERRORS}>:-Werror>)
endfunction()
