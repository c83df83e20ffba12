// Resources, message boxes and formatting of the user-interface library.
#pragma once

#include "windef.h"

#define MB_OK 0x00000000L
#define MB_OKCANCEL 0x00000001L
#define MB_ABORTRETRYIGNORE 0x00000002L
#define MB_YESNOCANCEL 0x00000003L
#define MB_YESNO 0x00000004L
#define MB_RETRYCANCEL 0x00000005L
#define MB_ICONERROR 0x00000010L
#define MB_ICONQUESTION 0x00000020L
#define MB_ICONWARNING 0x00000030L
#define MB_ICONINFORMATION 0x00000040L
#define MB_TYPEMASK 0x0000000FL

#define IDOK 1
#define IDCANCEL 2
#define IDABORT 3
#define IDRETRY 4
#define IDIGNORE 5
#define IDYES 6
#define IDNO 7

// Copies string resource `id` (at most bufferMax - 1 characters, terminated); returns its length,
// 0 when there is no such string. LoadStringW with bufferMax 0 returns a read-only pointer to the
// resource in *buffer.
int WINAPI LoadStringA(HINSTANCE instance, UINT id, LPSTR buffer, int bufferMax);
int WINAPI LoadStringW(HINSTANCE instance, UINT id, LPWSTR buffer, int bufferMax);

// Shows a modal message box on the calling thread and returns the button pressed.
int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
int WINAPI MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);

// wsprintf: at most 1024 characters, terminator included; %s takes a string of the function's
// own width. Returns the characters written.
int wsprintfW(LPWSTR buffer, LPCWSTR format, ...);
int wsprintfA(LPSTR buffer, LPCSTR format, ...);

HWND WINAPI GetShellWindow();
DWORD WINAPI GetWindowThreadProcessId(HWND window, LPDWORD processId);

#define SW_HIDE 0
#define SW_SHOWNORMAL 1
