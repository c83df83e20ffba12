#include "kernel_object.h"

#include <map>
#include <mutex>

namespace winlayer {
namespace {

struct HandleTable {
    std::mutex mutex;
    std::map<ULONG_PTR, std::shared_ptr<KernelObject>> objects;
    ULONG_PTR next = 0x100;  // Windows hands out multiples of 4; zero and -1 are never handles
};

HandleTable& Table() {
    static HandleTable table;
    return table;
}

}  // namespace

DWORD KernelObject::Wait(DWORD) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
}

HANDLE NewHandle(std::shared_ptr<KernelObject> object) {
    HandleTable& table = Table();
    std::lock_guard lock(table.mutex);
    ULONG_PTR value = table.next;
    table.next += 4;
    table.objects.emplace(value, std::move(object));
    return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<KernelObject> LookupHandle(HANDLE handle) {
    HandleTable& table = Table();
    std::lock_guard lock(table.mutex);
    auto it = table.objects.find(reinterpret_cast<ULONG_PTR>(handle));
    return it == table.objects.end() ? nullptr : it->second;
}

}  // namespace winlayer

using namespace winlayer;

BOOL WINAPI CloseHandle(HANDLE handle) {
    std::shared_ptr<KernelObject> closing;  // destroyed outside the lock
    {
        HandleTable& table = Table();
        std::lock_guard lock(table.mutex);
        auto it = table.objects.find(reinterpret_cast<ULONG_PTR>(handle));
        if (it == table.objects.end()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        closing = std::move(it->second);
        table.objects.erase(it);
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
