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

// --- Drawing of the user-interface library (implemented beside GDI) ---
// Fills [left, right) x [top, bottom) with the brush, or with a system colour given as
// (HBRUSH)(COLOR_* + 1). Returns non-zero on success.
int WINAPI FillRect(HDC dc, const RECT* rect, HBRUSH brush);
// Paints the brush one pixel inside each edge; nothing for an empty rectangle.
int WINAPI FrameRect(HDC dc, const RECT* rect, HBRUSH brush);

#define DT_TOP 0x00000000
#define DT_LEFT 0x00000000
#define DT_CENTER 0x00000001
#define DT_RIGHT 0x00000002
#define DT_VCENTER 0x00000004
#define DT_BOTTOM 0x00000008
#define DT_WORDBREAK 0x00000010
#define DT_SINGLELINE 0x00000020
#define DT_EXPANDTABS 0x00000040
#define DT_NOCLIP 0x00000100
#define DT_CALCRECT 0x00000400
#define DT_NOPREFIX 0x00000800
// Draws text in the DC's font and text colour, aligned in the rectangle by the DT_ flags
// (DT_VCENTER and DT_BOTTOM act only with DT_SINGLELINE); count -1 means NUL-terminated. Returns
// the height of the text, 0 on failure.
int WINAPI DrawTextW(HDC dc, LPCWSTR text, int count, LPRECT rect, UINT format);
