// Access tokens and account names.
#pragma once

#include "windef.h"

using PSID = void*;

struct SID_AND_ATTRIBUTES {
    PSID Sid;
    DWORD Attributes;
};

struct TOKEN_USER {
    SID_AND_ATTRIBUTES User;
};

enum TOKEN_INFORMATION_CLASS { TokenUser = 1 };

enum SID_NAME_USE { SidTypeUser = 1 };
using PSID_NAME_USE = SID_NAME_USE*;

BOOL WINAPI GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS infoClass, LPVOID info,
                                DWORD infoLength, PDWORD returnLength);
BOOL WINAPI LookupAccountSidA(LPCSTR systemName, PSID sid, LPSTR name, LPDWORD nameSize,
                              LPSTR domainName, LPDWORD domainSize, PSID_NAME_USE use);
