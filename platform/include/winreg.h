// The registry, kept as one text file per hive under $WINROOT/registry/.
#pragma once

#include "windef.h"

#define HKEY_CLASSES_ROOT ((HKEY)(ULONG_PTR)((LONG)0x80000000))
#define HKEY_CURRENT_USER ((HKEY)(ULONG_PTR)((LONG)0x80000001))
#define HKEY_LOCAL_MACHINE ((HKEY)(ULONG_PTR)((LONG)0x80000002))

#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_CREATE_SUB_KEY 0x0004
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define KEY_WOW64_64KEY 0x0100
#define KEY_WOW64_32KEY 0x0200
#define KEY_READ 0x20019
#define KEY_WRITE 0x20006
#define KEY_ALL_ACCESS 0xF003F

#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_MULTI_SZ 7
#define REG_QWORD 11

// Registry calls return a Win32 error code (ERROR_SUCCESS on success) and leave the last error
// unchanged.
LONG WINAPI RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM desired, PHKEY result);
LONG WINAPI RegCreateKeyA(HKEY key, LPCSTR subKey, PHKEY result);
LONG WINAPI RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type, const BYTE* data,
                           DWORD size);
LONG WINAPI RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD reserved, DWORD type,
                           const BYTE* data, DWORD size);
LONG WINAPI RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type,
                             LPBYTE data, LPDWORD size);
LONG WINAPI RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD reserved, LPDWORD type,
                             LPBYTE data, LPDWORD size);
LONG WINAPI RegDeleteTreeA(HKEY key, LPCSTR subKey);
LONG WINAPI RegCloseKey(HKEY key);
