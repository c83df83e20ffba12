// Processes and threads.
#pragma once

#include "windef.h"

#define PROCESS_TERMINATE 0x0001
#define PROCESS_VM_READ 0x0010
#define PROCESS_QUERY_INFORMATION 0x0400
#define PROCESS_QUERY_LIMITED_INFORMATION 0x1000
#define SYNCHRONIZE 0x00100000L
#define PROCESS_ALL_ACCESS 0x001FFFFF
#define STILL_ACTIVE 259

#define CREATE_NEW_CONSOLE 0x00000010
#define CREATE_NO_WINDOW 0x08000000
#define CREATE_UNICODE_ENVIRONMENT 0x00000400
#define DETACHED_PROCESS 0x00000008

#define STARTF_USESHOWWINDOW 0x00000001

#define TOKEN_QUERY 0x0008

struct STARTUPINFOW {
    DWORD cb;
    LPWSTR lpReserved;
    LPWSTR lpDesktop;
    LPWSTR lpTitle;
    DWORD dwX;
    DWORD dwY;
    DWORD dwXSize;
    DWORD dwYSize;
    DWORD dwXCountChars;
    DWORD dwYCountChars;
    DWORD dwFillAttribute;
    DWORD dwFlags;
    WORD wShowWindow;
    WORD cbReserved2;
    LPBYTE lpReserved2;
    HANDLE hStdInput;
    HANDLE hStdOutput;
    HANDLE hStdError;
};
using LPSTARTUPINFOW = STARTUPINFOW*;

struct PROCESS_INFORMATION {
    HANDLE hProcess;
    HANDLE hThread;
    DWORD dwProcessId;
    DWORD dwThreadId;
};
using LPPROCESS_INFORMATION = PROCESS_INFORMATION*;

HANDLE WINAPI GetCurrentProcess();
DWORD WINAPI GetCurrentProcessId();
DWORD WINAPI GetCurrentThreadId();
HANDLE WINAPI OpenProcess(DWORD desiredAccess, BOOL inheritHandle, DWORD processId);
// Ends the process at once; needs PROCESS_TERMINATE. Waiting on a process handle needs SYNCHRONIZE.
BOOL WINAPI TerminateProcess(HANDLE process, UINT exitCode);
DWORD WINAPI GetProcessId(HANDLE process);
BOOL WINAPI GetExitCodeProcess(HANDLE process, LPDWORD exitCode);
// The result of a thread of _beginthreadex, or STILL_ACTIVE while it runs.
BOOL WINAPI GetExitCodeThread(HANDLE thread, LPDWORD exitCode);
// Starts the program of the command line (its first argument, searched as Windows does, ".exe"
// appended to a name without extension) detached, in its own session; the environment block is
// ANSI unless CREATE_UNICODE_ENVIRONMENT, null meaning this process's. Returns handles with all
// access to the process and its main thread.
BOOL WINAPI CreateProcessW(LPCWSTR applicationName, LPWSTR commandLine,
                           LPSECURITY_ATTRIBUTES processAttributes,
                           LPSECURITY_ATTRIBUTES threadAttributes, BOOL inheritHandles,
                           DWORD creationFlags, LPVOID environment, LPCWSTR currentDirectory,
                           LPSTARTUPINFOW startupInfo, LPPROCESS_INFORMATION processInformation);
BOOL WINAPI OpenProcessToken(HANDLE process, DWORD desiredAccess, PHANDLE token);
