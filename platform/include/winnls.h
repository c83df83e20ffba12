// Code pages and the user-interface language.
#pragma once

#include "windef.h"

#define CP_ACP 0
#define CP_OEMCP 1
#define CP_UTF8 65001

#define MB_PRECOMPOSED 0x00000001
#define MB_ERR_INVALID_CHARS 0x00000008
#define WC_NO_BEST_FIT_CHARS 0x00000400
#define WC_ERR_INVALID_CHARS 0x00000080

#define LANG_NEUTRAL 0x00
#define LANG_ENGLISH 0x09
#define LANG_CHINESE 0x04
#define SUBLANG_DEFAULT 0x01

// Code pages 936 (the ANSI code page here), 950, CP_ACP and CP_UTF8. A length of -1 includes the
// terminating NUL; a zero output size asks for the size needed; a too small buffer fails with
// ERROR_INSUFFICIENT_BUFFER.
int WINAPI MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR multiByteStr, int multiByteLength,
                               LPWSTR wideCharStr, int wideCharLength);
int WINAPI WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wideCharStr, int wideCharLength,
                               LPSTR multiByteStr, int multiByteLength, LPCSTR defaultChar,
                               LPBOOL usedDefaultChar);
UINT WINAPI GetACP();
// The user's user-interface language, from LC_ALL, LC_MESSAGES and LANG in that order.
LANGID WINAPI GetUserDefaultUILanguage();
