# Runs clang-format in check mode over the tracked C++ sources.
execute_process(COMMAND git ls-files -- *.cpp *.h
    WORKING_DIRECTORY ${SOURCE_DIR} OUTPUT_VARIABLE files RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(STATUS "not a git checkout; formatting not checked")
    return()
endif()
string(REPLACE "\n" ";" files "${files}")
list(FILTER files EXCLUDE REGEX "^$")
if(files)
    execute_process(COMMAND ${CLANG_FORMAT} --dry-run --Werror ${files}
        WORKING_DIRECTORY ${SOURCE_DIR} RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "clang-format would change the files above; run clang-format -i on them")
    endif()
endif()
