# INSTALLER_SANITIZER selects one sanitizer set for the whole build: "address,undefined" or "thread".
set(INSTALLER_SANITIZER "" CACHE STRING "Sanitizers for the whole build: address,undefined | thread | empty")

if(INSTALLER_SANITIZER)
    include(CheckCXXSourceCompiles)
    set(CMAKE_REQUIRED_FLAGS "-fsanitize=${INSTALLER_SANITIZER}")
    set(CMAKE_REQUIRED_LINK_OPTIONS "-fsanitize=${INSTALLER_SANITIZER}")
    check_cxx_source_compiles("int main() { return 0; }" INSTALLER_SANITIZER_WORKS)
    unset(CMAKE_REQUIRED_FLAGS)
    unset(CMAKE_REQUIRED_LINK_OPTIONS)
    if(NOT INSTALLER_SANITIZER_WORKS)
        message(FATAL_ERROR "The compiler cannot build with -fsanitize=${INSTALLER_SANITIZER}")
    endif()
    add_compile_options(-fsanitize=${INSTALLER_SANITIZER} -fno-omit-frame-pointer -fno-sanitize-recover=all)
    add_link_options(-fsanitize=${INSTALLER_SANITIZER})
    # GCC's guess at uninitialized reads follows the sanitizers' instrumentation into libstdc++
    # (std::regex's states) and errs; the build without sanitizers keeps the warning.
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
        add_compile_options(-Wno-maybe-uninitialized)
    endif()
endif()

# INSTALLER_FUZZ builds the libFuzzer targets of tests/fuzz/ (clang only): every library gets the
# fuzzer's coverage instrumentation, and the targets link libFuzzer's own main.
option(INSTALLER_FUZZ "Build the libFuzzer targets (clang, with INSTALLER_SANITIZER=address,undefined)" OFF)
if(INSTALLER_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        message(FATAL_ERROR "INSTALLER_FUZZ needs clang (CMAKE_CXX_COMPILER=clang++)")
    endif()
    add_compile_options(-fsanitize=fuzzer-no-link)
endif()
