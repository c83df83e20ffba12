// The shell's file operations.
#pragma once

#include "windows.h"

#define FO_MOVE 0x0001
#define FO_COPY 0x0002
#define FO_DELETE 0x0003
#define FO_RENAME 0x0004

#define FOF_MULTIDESTFILES 0x0001
#define FOF_SILENT 0x0004
#define FOF_RENAMEONCOLLISION 0x0008
#define FOF_NOCONFIRMATION 0x0010
#define FOF_ALLOWUNDO 0x0040
#define FOF_NOERRORUI 0x0400

using FILEOP_FLAGS = WORD;

struct SHFILEOPSTRUCTA {
    HWND hwnd;
    UINT wFunc;
    LPCSTR pFrom;  // list of paths, each NUL-terminated, the list ending in a second NUL
    LPCSTR pTo;
    FILEOP_FLAGS fFlags;
    BOOL fAnyOperationsAborted;
    LPVOID hNameMappings;
    LPCSTR lpszProgressTitle;
};
using LPSHFILEOPSTRUCTA = SHFILEOPSTRUCTA*;

// Returns 0 on success, otherwise a nonzero error code (also when a source does not exist).
int WINAPI SHFileOperationA(LPSHFILEOPSTRUCTA fileOp);
