// Kernel object handles (files, processes, threads, snapshots).
#pragma once

#include "windef.h"

#define INVALID_HANDLE_VALUE ((HANDLE)(LONG_PTR)-1)

// Releases the handle; the object goes away with its last handle. FALSE with
// ERROR_INVALID_HANDLE for a handle that is not open.
BOOL WINAPI CloseHandle(HANDLE object);
