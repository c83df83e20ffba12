// The console session's user.
#pragma once

#include "windows.h"

#define WTS_CURRENT_SERVER_HANDLE ((HANDLE) nullptr)
#define WTS_CURRENT_SESSION ((DWORD)-1)

enum WTS_INFO_CLASS { WTSUserName = 5, WTSDomainName = 7 };

DWORD WINAPI WTSGetActiveConsoleSessionId();
// WTSUserName gives the account at the console; the text is freed with WTSFreeMemory.
BOOL WINAPI WTSQuerySessionInformationA(HANDLE server, DWORD sessionId, WTS_INFO_CLASS infoClass,
                                        LPSTR* buffer, DWORD* bytesReturned);
void WINAPI WTSFreeMemory(PVOID memory);
