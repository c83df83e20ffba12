# installer_add_test(<name> LABEL <unit|integration|gui|e2e> SOURCES <files...> [LIBS <targets...>])
# One GoogleTest executable; every test case runs as its own CTest test with the given label.
function(installer_add_test name)
    cmake_parse_arguments(T "" "LABEL" "SOURCES;LIBS" ${ARGN})
    if(NOT T_LABEL)
        message(FATAL_ERROR "installer_add_test(${name}): LABEL is required")
    endif()
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gmock GTest::gtest_main)
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
    installer_warnings(${name})
    # Only e2e tests may reach a real display; the rest run on the headless one, so a developer's
    # DISPLAY never shows a test window.
    set(display_env)
    if(NOT T_LABEL STREQUAL "e2e")
        set(display_env ENVIRONMENT WINLAYER_DISPLAY=headless)
    endif()
    gtest_discover_tests(${name}
        PROPERTIES LABELS ${T_LABEL} ${display_env}
        DISCOVERY_TIMEOUT 60)
endfunction()

# installer_add_test_folder(LIBS <targets...>)
# One test executable per *_test.cpp of the calling folder. The label comes from the file name:
# *_integration_test.cpp → integration, *_gui_test.cpp → gui, *_e2e_test.cpp → e2e, else unit.
function(installer_add_test_folder)
    cmake_parse_arguments(F "" "" "LIBS" ${ARGN})
    file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
    foreach(file ${tests})
        get_filename_component(name ${file} NAME_WE)
        set(label unit)
        if(name MATCHES "_integration_test$")
            set(label integration)
        elseif(name MATCHES "_gui_test$")
            set(label gui)
        elseif(name MATCHES "_e2e_test$")
            set(label e2e)
        endif()
        installer_add_test(${name} LABEL ${label} SOURCES ${file} LIBS ${F_LIBS} test_support)
    endforeach()
endfunction()
