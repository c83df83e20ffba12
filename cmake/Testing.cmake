# installer_add_test(<name> LABEL <unit|integration|gui|e2e> SOURCES <files...> [LIBS <targets...>])
# One GoogleTest executable; every test case runs as its own CTest test with the given label.
function(installer_add_test name)
    cmake_parse_arguments(T "" "LABEL" "SOURCES;LIBS" ${ARGN})
    if(NOT T_LABEL)
        message(FATAL_ERROR "installer_add_test(${name}): LABEL is required")
    endif()
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gmock GTest::gtest_main)
    installer_warnings(${name})
    gtest_discover_tests(${name}
        PROPERTIES LABELS ${T_LABEL}
        DISCOVERY_TIMEOUT 60)
endfunction()
