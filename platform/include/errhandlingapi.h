// The thread's last-error value.
#pragma once

#include "windef.h"

DWORD WINAPI GetLastError();
void WINAPI SetLastError(DWORD error);
