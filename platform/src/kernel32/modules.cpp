// Modules of the process: the program itself and "kernel32", whose exports the program may look
// up by name.
#include "kernel32/codepage.h"
#include "kernel32/paths.h"

#include <winlayer/system_info.h>

#include <unistd.h>

#include <cstring>
#include <mutex>
#include <string>

namespace winlayer {
namespace {

// Module handles are the base addresses a 64-bit Windows process would show.
const HMODULE kProgramModule = reinterpret_cast<HMODULE>(0x140000000);
const HMODULE kKernel32Module = reinterpret_cast<HMODULE>(0x7FF800000000);

struct Export {
    const char* name;
    FARPROC address;
};

// Function pointers go through void (*)(), the one type that converts to any other cleanly.
template <class Function>
FARPROC AsFarProc(Function* function) {
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
}

const Export kKernel32Exports[] = {
    {"GetNativeSystemInfo", AsFarProc(&GetNativeSystemInfo)},
};

struct HiddenExport {
    std::mutex mutex;
    std::string name;
};

HiddenExport& Hidden() {
    static HiddenExport value;
    return value;
}

bool IsHidden(const char* name) {
    HiddenExport& hidden = Hidden();
    std::lock_guard lock(hidden.mutex);
    return hidden.name == name;
}

std::u16string ModuleFileName(HMODULE module) {
    if (module == kKernel32Module)
        return u"C:\\windows\\system32\\kernel32.dll";
    char path[4096];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0)
        return std::u16string();
    return WideFromUtf8(WindowsPathOf(std::string_view(path, static_cast<size_t>(n))));
}

}  // namespace

void HideKernel32ExportForTesting(const char* procName) {
    HiddenExport& hidden = Hidden();
    std::lock_guard lock(hidden.mutex);
    hidden.name = procName ? procName : "";
}

}  // namespace winlayer

using namespace winlayer;

HMODULE WINAPI GetModuleHandleW(LPCWSTR moduleName) {
    if (moduleName == nullptr)
        return kProgramModule;
    std::string name = Utf8FromWide(moduleName);
    if (EqualsIgnoringCase(name, "kernel32") || EqualsIgnoringCase(name, "kernel32.dll"))
        return kKernel32Module;
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR procName) {
    if (module != kKernel32Module && module != kProgramModule) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    // Names below 0x10000 are ordinals; this layer exports by name only. Names are exact.
    if (module == kKernel32Module && reinterpret_cast<ULONG_PTR>(procName) >= 0x10000 &&
        !IsHidden(procName)) {
        for (const Export& entry : kKernel32Exports) {
            if (std::strcmp(entry.name, procName) == 0)
                return entry.address;
        }
    }
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
}

DWORD WINAPI GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size) {
    if (module == nullptr)
        module = kProgramModule;
    if (module != kKernel32Module && module != kProgramModule) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    std::u16string name = ModuleFileName(module);
    if (size == 0 || fileName == nullptr) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    // Windows cuts the name to the buffer, terminates it and returns the buffer's size.
    if (name.size() >= size) {
        std::memcpy(fileName, name.data(), (size - 1) * sizeof(WCHAR));
        fileName[size - 1] = 0;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    std::memcpy(fileName, name.data(), name.size() * sizeof(WCHAR));
    fileName[name.size()] = 0;
    return static_cast<DWORD>(name.size());
}
