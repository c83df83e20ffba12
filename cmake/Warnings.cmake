# Warnings are errors in our own code; third-party headers come in as system headers.
function(installer_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()
