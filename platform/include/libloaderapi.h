// Modules of the process and their exported functions.
#pragma once

#include "windef.h"

// "kernel32" (with or without ".dll", any case) and the program itself (null name) are known.
HMODULE WINAPI GetModuleHandleW(LPCWSTR moduleName);
FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR procName);
DWORD WINAPI GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size);
