// The COM subset: per-thread apartment initialisation and the creation of in-process objects.
#include <objbase.h>
#include <shobjidl.h>

#include "shell32/shell_link.h"

namespace {

// CoInitialize calls on this thread not yet matched by CoUninitialize.
thread_local int apartmentInitCount = 0;

}  // namespace

const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

HRESULT WINAPI CoInitialize(LPVOID) {
    return ++apartmentInitCount == 1 ? S_OK : S_FALSE;
}

void WINAPI CoUninitialize() {
    if (apartmentInitCount > 0)
        --apartmentInitCount;
}

HRESULT WINAPI CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD clsContext, REFIID riid,
                                LPVOID* object) {
    if (object == nullptr)
        return E_POINTER;
    *object = nullptr;
    if (apartmentInitCount == 0)
        return CO_E_NOTINITIALIZED;
    if (!(clsid == CLSID_ShellLink) || (clsContext & CLSCTX_INPROC_SERVER) == 0)
        return REGDB_E_CLASSNOTREG;
    if (outer != nullptr)
        return CLASS_E_NOAGGREGATION;
    return winlayer::CreateShellLink(riid, object);
}
