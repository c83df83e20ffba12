// Shell link and persist-file interfaces.
#pragma once

#include "objbase.h"

struct IPersist : IUnknown {
    STDMETHOD(GetClassID)(CLSID* classId) = 0;

  protected:
    ~IPersist() = default;
};

struct IPersistFile : IPersist {
    STDMETHOD(IsDirty)() = 0;
    STDMETHOD(Load)(LPCWSTR fileName, DWORD mode) = 0;
    // Writes the object to the file, replacing an existing one.
    STDMETHOD(Save)(LPCWSTR fileName, BOOL remember) = 0;
    STDMETHOD(SaveCompleted)(LPCWSTR fileName) = 0;
    STDMETHOD(GetCurFile)(LPWSTR* fileName) = 0;

  protected:
    ~IPersistFile() = default;
};

struct IShellLinkW : IUnknown {
    STDMETHOD(GetPath)(LPWSTR file, int size, void* findData, DWORD flags) = 0;
    STDMETHOD(GetDescription)(LPWSTR name, int size) = 0;
    STDMETHOD(SetDescription)(LPCWSTR name) = 0;
    STDMETHOD(GetWorkingDirectory)(LPWSTR dir, int size) = 0;
    STDMETHOD(SetWorkingDirectory)(LPCWSTR dir) = 0;
    STDMETHOD(GetArguments)(LPWSTR args, int size) = 0;
    STDMETHOD(SetArguments)(LPCWSTR args) = 0;
    STDMETHOD(GetIconLocation)(LPWSTR iconPath, int size, int* icon) = 0;
    STDMETHOD(SetIconLocation)(LPCWSTR iconPath, int icon) = 0;
    STDMETHOD(SetPath)(LPCWSTR file) = 0;

  protected:
    ~IShellLinkW() = default;
};

extern const CLSID CLSID_ShellLink;
extern const IID IID_IShellLinkW;
extern const IID IID_IPersistFile;
