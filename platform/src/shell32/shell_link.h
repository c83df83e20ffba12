// The shell link object behind CLSID_ShellLink.
#pragma once

#include <shobjidl.h>

namespace winlayer {

// Creates a shell link with a reference count of one and asks it for `riid`; E_NOINTERFACE
// (and a null *object) for an interface it does not have.
HRESULT CreateShellLink(REFIID riid, void** object);

}  // namespace winlayer
