// Special folders of the shell, and the shell's COM interfaces.
#pragma once

#include "objbase.h"
#include "shobjidl.h"

#define CSIDL_DESKTOP 0x0000
#define CSIDL_DESKTOPDIRECTORY 0x0010
#define CSIDL_COMMON_DESKTOPDIRECTORY 0x0019
#define CSIDL_APPDATA 0x001a
#define CSIDL_LOCAL_APPDATA 0x001c
#define CSIDL_WINDOWS 0x0024
#define CSIDL_SYSTEM 0x0025
#define CSIDL_PROFILE 0x0028
#define CSIDL_FLAG_CREATE 0x8000

struct SHITEMID {
    USHORT cb;
    BYTE abID[1];
};
struct ITEMIDLIST {
    SHITEMID mkid;
};
using LPITEMIDLIST = ITEMIDLIST*;
using LPCITEMIDLIST = const ITEMIDLIST*;
using PIDLIST_ABSOLUTE = ITEMIDLIST*;
using PCIDLIST_ABSOLUTE = const ITEMIDLIST*;

struct IMalloc : IUnknown {
    STDMETHOD_(void*, Alloc)(SIZE_T size) = 0;
    STDMETHOD_(void*, Realloc)(void* block, SIZE_T size) = 0;
    STDMETHOD_(void, Free)(void* block) = 0;
    STDMETHOD_(SIZE_T, GetSize)(void* block) = 0;
    STDMETHOD_(int, DidAlloc)(void* block) = 0;
    STDMETHOD_(void, HeapMinimize)() = 0;

  protected:
    ~IMalloc() = default;
};
using LPMALLOC = IMalloc*;

HRESULT WINAPI SHGetMalloc(LPMALLOC* malloc);
HRESULT WINAPI SHGetSpecialFolderLocation(HWND owner, int folder, PIDLIST_ABSOLUTE* idList);
// Writes the item list's path into a buffer of at least MAX_PATH characters.
BOOL WINAPI SHGetPathFromIDListA(PCIDLIST_ABSOLUTE idList, LPSTR path);
BOOL WINAPI SHGetSpecialFolderPathA(HWND owner, LPSTR path, int folder, BOOL create);
