// Time of day and the machine's processor.
#pragma once

#include "windef.h"

#define PROCESSOR_ARCHITECTURE_INTEL 0
#define PROCESSOR_ARCHITECTURE_ARM 5
#define PROCESSOR_ARCHITECTURE_IA64 6
#define PROCESSOR_ARCHITECTURE_AMD64 9
#define PROCESSOR_ARCHITECTURE_ARM64 12
#define PROCESSOR_ARCHITECTURE_UNKNOWN 0xffff

struct SYSTEM_INFO {
    WORD wProcessorArchitecture;
    WORD wReserved;
    DWORD dwPageSize;
    LPVOID lpMinimumApplicationAddress;
    LPVOID lpMaximumApplicationAddress;
    DWORD_PTR dwActiveProcessorMask;
    DWORD dwNumberOfProcessors;
    DWORD dwProcessorType;
    DWORD dwAllocationGranularity;
    WORD wProcessorLevel;
    WORD wProcessorRevision;
};
using LPSYSTEM_INFO = SYSTEM_INFO*;

void WINAPI GetLocalTime(LPSYSTEMTIME systemTime);
void WINAPI GetSystemTime(LPSYSTEMTIME systemTime);
void WINAPI GetSystemTimeAsFileTime(LPFILETIME fileTime);
DWORD WINAPI GetTickCount();
void WINAPI GetNativeSystemInfo(LPSYSTEM_INFO systemInfo);
UINT WINAPI GetSystemDirectoryA(LPSTR buffer, UINT size);
