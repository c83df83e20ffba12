# Warnings are errors in our own code; third-party headers come in as system headers.
function(installer_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
    # Clang (the fuzz build) does not know the GCC-only warnings that some pragmas silence.
    if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        target_compile_options(${target} PRIVATE -Wno-unknown-warning-option)
    endif()
endfunction()
