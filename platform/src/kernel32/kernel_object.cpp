#include "kernel32/kernel_object.h"

#include "common/handle_table.h"

namespace winlayer {
namespace {

// Zero and -1 are never handles.
HandleTable<KernelObject>& Table() {
    static HandleTable<KernelObject> table(0x100);
    return table;
}

}  // namespace

DWORD KernelObject::Wait(DWORD) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
}

HANDLE NewHandle(std::shared_ptr<KernelObject> object) {
    return reinterpret_cast<HANDLE>(Table().Add(std::move(object)));
}

std::shared_ptr<KernelObject> LookupHandle(HANDLE handle) {
    return Table().Find(reinterpret_cast<ULONG_PTR>(handle));
}

}  // namespace winlayer

using namespace winlayer;

BOOL WINAPI CloseHandle(HANDLE handle) {
    if (!Table().Remove(reinterpret_cast<ULONG_PTR>(handle))) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

DWORD WINAPI WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    std::shared_ptr<KernelObject> object = LookupHandle(handle);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    return object->Wait(milliseconds);
}
