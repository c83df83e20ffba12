#include "core/search_path.h"

#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "core/settings.h"

namespace {

constexpr DWORD kPathCapacity = 65536;
constexpr int kEntryCapacity = 1024;

}  // namespace

void RepairSearchPath() {
    std::vector<WCHAR> buffer(kPathCapacity, 0);
    // A value that does not fit in the buffer is left untouched: repairing it from an empty
    // working value would leave the client with the system folder alone.
    if (GetEnvironmentVariableW(TEXT("path"), buffer.data(), kPathCapacity) >= kPathCapacity)
        return;
    std::basic_string<WCHAR> path(buffer.data());
    if (!path.empty() && path.back() != TEXT(';'))
        path += TEXT(';');

    char* systemRoot = nullptr;
    if (_dupenv_s(&systemRoot, nullptr, "SystemRoot") != 0 || systemRoot == nullptr)
        return;
    const std::string entry = std::string(systemRoot) + "\\system32;";
    std::free(systemRoot);

    // What would not fit in the buffer, terminator included, is not converted at all.
    WCHAR converted[kEntryCapacity] = {};
    int needed = MultiByteToWideChar(kNarrowCodePage, 0, entry.c_str(), -1, nullptr, 0);
    if (needed > 0 && needed <= kEntryCapacity)
        MultiByteToWideChar(kNarrowCodePage, 0, entry.c_str(), -1, converted, kEntryCapacity);
    path += converted;
    SetEnvironmentVariableW(TEXT("Path"), path.c_str());
}
