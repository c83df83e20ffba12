// GDI objects. Drawing comes with the window.
#pragma once

#include "windef.h"

#define FW_DONTCARE 0
#define FW_NORMAL 400
#define FW_BOLD 700
#define DEFAULT_CHARSET 1
#define ANSI_CHARSET 0
#define GB2312_CHARSET 134
#define OUT_DEFAULT_PRECIS 0
#define OUT_OUTLINE_PRECIS 8
#define CLIP_DEFAULT_PRECIS 0
#define DEFAULT_QUALITY 0
#define ANTIALIASED_QUALITY 4
#define CLEARTYPE_QUALITY 5
#define DEFAULT_PITCH 0
#define FIXED_PITCH 1
#define VARIABLE_PITCH 2
#define FF_DONTCARE 0
#define LF_FACESIZE 32

#define OBJ_PEN 1
#define OBJ_BRUSH 2
#define OBJ_FONT 6
#define OBJ_BITMAP 7

struct LOGFONTW {
    LONG lfHeight;
    LONG lfWidth;
    LONG lfEscapement;
    LONG lfOrientation;
    LONG lfWeight;
    BYTE lfItalic;
    BYTE lfUnderline;
    BYTE lfStrikeOut;
    BYTE lfCharSet;
    BYTE lfOutPrecision;
    BYTE lfClipPrecision;
    BYTE lfQuality;
    BYTE lfPitchAndFamily;
    WCHAR lfFaceName[LF_FACESIZE];
};

struct LOGBRUSH {
    UINT lbStyle;
    COLORREF lbColor;
    ULONG_PTR lbHatch;
};

#define BS_SOLID 0

HBRUSH WINAPI CreateSolidBrush(COLORREF color);
HFONT WINAPI CreateFontW(int height, int width, int escapement, int orientation, int weight,
                         DWORD italic, DWORD underline, DWORD strikeOut, DWORD charSet,
                         DWORD outPrecision, DWORD clipPrecision, DWORD quality,
                         DWORD pitchAndFamily, LPCWSTR faceName);
// Deletes a pen, brush, font or bitmap; FALSE for a null or unknown handle.
BOOL WINAPI DeleteObject(HGDIOBJ object);
// Describes a GDI object: LOGFONTW for a font, LOGBRUSH for a brush. Returns the bytes written.
int WINAPI GetObjectW(HGDIOBJ object, int size, LPVOID buffer);
DWORD WINAPI GetObjectType(HGDIOBJ object);
