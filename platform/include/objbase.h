// The COM subset: apartment initialisation and in-process object creation.
#pragma once

#include "windows.h"

#define CLSCTX_INPROC_SERVER 0x1
#define CLSCTX_INPROC_HANDLER 0x2
#define CLSCTX_LOCAL_SERVER 0x4
#define CLSCTX_ALL 0x17

#define STDMETHOD(method) virtual HRESULT STDMETHODCALLTYPE method
#define STDMETHOD_(type, method) virtual type STDMETHODCALLTYPE method

struct IUnknown {
    STDMETHOD(QueryInterface)(REFIID riid, void** object) = 0;
    STDMETHOD_(ULONG, AddRef)() = 0;
    STDMETHOD_(ULONG, Release)() = 0;

  protected:
    ~IUnknown() = default;
};
using LPUNKNOWN = IUnknown*;

extern const IID IID_IUnknown;

// S_OK on the thread's first call, S_FALSE on each further call before the matching
// CoUninitialize.
HRESULT WINAPI CoInitialize(LPVOID reserved);
void WINAPI CoUninitialize();
// Knows the shell link class only; REGDB_E_CLASSNOTREG for any other class, CO_E_NOTINITIALIZED
// on a thread without CoInitialize.
HRESULT WINAPI CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD clsContext, REFIID riid,
                                LPVOID* object);
