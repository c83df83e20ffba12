// Waiting and sleeping.
#pragma once

#include "windef.h"

#define INFINITE 0xFFFFFFFF
#define WAIT_OBJECT_0 0x00000000L
#define WAIT_ABANDONED 0x00000080L
#define WAIT_TIMEOUT 0x00000102L
#define WAIT_FAILED ((DWORD)0xFFFFFFFF)

void WINAPI Sleep(DWORD milliseconds);
// A mutex; a named one is shared by every process of the root and lives while any of them holds
// a handle. GetLastError gives ERROR_ALREADY_EXISTS when the named mutex existed before the call.
// The layer does not model ownership: initialOwner must be FALSE, and the mutex is not waitable.
HANDLE WINAPI CreateMutexW(LPSECURITY_ATTRIBUTES attributes, BOOL initialOwner, LPCWSTR name);
// Waits until a process or thread has ended, or the time-out passes.
DWORD WINAPI WaitForSingleObject(HANDLE handle, DWORD milliseconds);
