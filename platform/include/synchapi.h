// Waiting and sleeping.
#pragma once

#include "windef.h"

#define INFINITE 0xFFFFFFFF
#define WAIT_OBJECT_0 0x00000000L
#define WAIT_ABANDONED 0x00000080L
#define WAIT_TIMEOUT 0x00000102L
#define WAIT_FAILED ((DWORD)0xFFFFFFFF)

void WINAPI Sleep(DWORD milliseconds);
// Waits until a process or thread has ended, or the time-out passes.
DWORD WINAPI WaitForSingleObject(HANDLE handle, DWORD milliseconds);
