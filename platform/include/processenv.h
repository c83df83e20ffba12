// The process's environment. Names compare without regard to case, as on Windows.
#pragma once

#include "windef.h"

DWORD WINAPI GetEnvironmentVariableA(LPCSTR name, LPSTR buffer, DWORD size);
DWORD WINAPI GetEnvironmentVariableW(LPCWSTR name, LPWSTR buffer, DWORD size);
BOOL WINAPI SetEnvironmentVariableA(LPCSTR name, LPCSTR value);
BOOL WINAPI SetEnvironmentVariableW(LPCWSTR name, LPCWSTR value);
DWORD WINAPI GetCurrentDirectoryA(DWORD bufferLength, LPSTR buffer);
