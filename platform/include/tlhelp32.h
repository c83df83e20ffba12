// Snapshots of the running processes and of a process's modules, read from /proc.
#pragma once

#include "windows.h"

#define TH32CS_SNAPPROCESS 0x00000002
#define TH32CS_SNAPMODULE 0x00000008
#define MAX_MODULE_NAME32 255

struct PROCESSENTRY32W {
    DWORD dwSize;
    DWORD cntUsage;
    DWORD th32ProcessID;
    ULONG_PTR th32DefaultHeapID;
    DWORD th32ModuleID;
    DWORD cntThreads;
    DWORD th32ParentProcessID;
    LONG pcPriClassBase;
    DWORD dwFlags;
    WCHAR szExeFile[MAX_PATH];
};
using LPPROCESSENTRY32W = PROCESSENTRY32W*;

struct MODULEENTRY32W {
    DWORD dwSize;
    DWORD th32ModuleID;
    DWORD th32ProcessID;
    DWORD GlblcntUsage;
    DWORD ProccntUsage;
    BYTE* modBaseAddr;
    DWORD modBaseSize;
    HMODULE hModule;
    WCHAR szModule[MAX_MODULE_NAME32 + 1];
    WCHAR szExePath[MAX_PATH];
};
using LPMODULEENTRY32W = MODULEENTRY32W*;

HANDLE WINAPI CreateToolhelp32Snapshot(DWORD flags, DWORD processId);
BOOL WINAPI Process32FirstW(HANDLE snapshot, LPPROCESSENTRY32W entry);
BOOL WINAPI Process32NextW(HANDLE snapshot, LPPROCESSENTRY32W entry);
BOOL WINAPI Module32FirstW(HANDLE snapshot, LPMODULEENTRY32W entry);
BOOL WINAPI Module32NextW(HANDLE snapshot, LPMODULEENTRY32W entry);
