// A Windows GUI program for the start-up test: prints what its wWinMain received and returns 7.
#include <windows.h>

#include <cstdio>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, LPWSTR commandLine, int showCommand) {
    char line[4096] = {};
    WideCharToMultiByte(CP_UTF8, 0, commandLine, -1, line, sizeof line, nullptr, nullptr);
    std::printf("instance=%s\nprevious=%s\nshow=%d\nline=%s\n",
                instance == GetModuleHandleW(nullptr) ? "module" : "other",
                previous == nullptr ? "null" : "set", showCommand, line);
    return 7;
}
