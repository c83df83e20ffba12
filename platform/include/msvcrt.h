// The C runtime calls of the Microsoft runtime library that take Windows paths or have no Linux
// counterpart. Paths are Windows paths in the ANSI code page, as for the A functions.
#pragma once

#include <cstdio>
#include <cstdlib>

#include "windef.h"

using errno_t = int;

// Opens a file like fopen (modes "r", "w", "a", "+", "b", "t"); returns 0 or an errno value and
// sets *file to null on failure.
errno_t fopen_s(FILE** file, const char* fileName, const char* mode);
// Opens a file like fopen_s with a sharing flag of <share.h>: what other handles may do with the
// file meanwhile. Deletion and renaming are never shared. Null with errno set on failure.
FILE* _fsopen(const char* fileName, const char* mode, int shareFlag);
// Position and seeking of a runtime file with 64-bit offsets.
int _fseeki64(FILE* file, long long offset, int origin);
long long _ftelli64(FILE* file);
// Leading white space, an optional sign, decimal digits up to the first other character; 0
// without digits, the nearest 64-bit limit when out of range.
long long _atoi64(const char* text);
// Mode 0: exists; 2: writable; 4: readable; 6: both. Returns 0 or -1 with errno set.
int _access(const char* path, int mode);
// Copies the variable into a new malloc'd string (null when not set); returns 0 or an errno value.
errno_t _dupenv_s(char** buffer, size_t* size, const char* name);
// Renames a file or folder; both paths on one drive. Returns 0, or -1 with errno set.
int _windows_rename(const char* oldName, const char* newName);

// The runtime's rename takes Windows paths here. <cstdio> is included above so that its own
// #undef of rename has already happened.
#define rename _windows_rename

using _beginthreadex_proc_type = unsigned(__stdcall*)(void*);
// Starts a thread running `start(arglist)`; returns its handle (waitable, closed with
// CloseHandle) or 0 on failure. Stack size and security are ignored; initflag must be 0.
uintptr_t _beginthreadex(void* security, unsigned stackSize, _beginthreadex_proc_type start,
                         void* arglist, unsigned initflag, unsigned* threadId);
