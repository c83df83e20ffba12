# The Windows build (MinGW-w64, cmake/windows-toolchain.cmake): the layer is not part of it. The
# targets that stand for it here carry the real system libraries instead, so that product folders
# link `platform` on both targets alike.
if(NOT WIN32)
    return()
endif()

# Release programs without their symbol tables (the static C++ runtime's are most of the file).
add_link_options($<$<CONFIG:Release>:-s>)

# Static archives only (libz.a, never the import library libz.dll.a). Set here, after project(),
# since the platform's own settings would replace a toolchain file's.
set(CMAKE_FIND_LIBRARY_SUFFIXES .a)

# Product code spells wide literals TEXT("..."): L"..." with UNICODE. NOMINMAX keeps <windows.h>
# from defining min and max over std::min and std::max. Windows 10 is the oldest system served.
add_library(platform INTERFACE)
target_compile_definitions(platform INTERFACE UNICODE _UNICODE NOMINMAX _WIN32_WINNT=0x0A00
                                              WINVER=0x0A00)
target_link_libraries(platform INTERFACE user32 gdi32 shell32 ole32 oleaut32 uuid advapi32
                                         wtsapi32 Threads::Threads)

enable_language(RC)

# What the program needs of the C runtime and msvcrt.dll lacks.
add_library(platform_windows_crt STATIC ${PROJECT_SOURCE_DIR}/platform/windows/msvcrt_additions.cpp)
installer_warnings(platform_windows_crt)
target_link_libraries(platform INTERFACE platform_windows_crt)

# A Unicode GUI program: wWinMain as its entry and no console window.
add_library(platform_winmain INTERFACE)
target_link_libraries(platform_winmain INTERFACE platform)
target_link_options(platform_winmain INTERFACE -municode -mwindows)
# The program's resources (resources/installer.rc.in) go into every program with this entry.
target_sources(platform_winmain INTERFACE $<TARGET_OBJECTS:resources>)
