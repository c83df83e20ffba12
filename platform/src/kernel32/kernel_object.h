// Kernel objects behind HANDLEs: one process-wide table maps handle values to shared objects, so
// that a call in progress keeps its object alive while another thread closes the handle.
#pragma once

#include <windows.h>

#include <memory>

namespace winlayer {

class KernelObject {
  public:
    virtual ~KernelObject() = default;
    // Waits until the object is signalled: WAIT_OBJECT_0, WAIT_TIMEOUT, or WAIT_FAILED for objects
    // that cannot be waited on.
    virtual DWORD Wait(DWORD milliseconds);
};

// Registers the object and returns a new handle for it; the table holds it until CloseHandle.
HANDLE NewHandle(std::shared_ptr<KernelObject> object);

// The object behind an open handle, or null.
std::shared_ptr<KernelObject> LookupHandle(HANDLE handle);

// The object behind an open handle when it has type T, else null.
template <class T>
std::shared_ptr<T> ObjectFromHandle(HANDLE handle) {
    return std::dynamic_pointer_cast<T>(LookupHandle(handle));
}

}  // namespace winlayer
