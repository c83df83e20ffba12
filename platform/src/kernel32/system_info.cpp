// The machine's processor and memory layout as GetNativeSystemInfo reports them.
#include <windows.h>

#include <winlayer/system_info.h>

#include <sys/utsname.h>
#include <unistd.h>

#include <cstring>
#include <mutex>
#include <string>

namespace winlayer {
namespace {

struct MachineOverride {
    std::mutex mutex;
    std::string machine;
};

MachineOverride& Override() {
    static MachineOverride value;
    return value;
}

std::string MachineName() {
    {
        MachineOverride& o = Override();
        std::lock_guard lock(o.mutex);
        if (!o.machine.empty())
            return o.machine;
    }
    utsname names;
    return uname(&names) == 0 ? names.machine : "";
}

WORD ArchitectureOf(const std::string& machine) {
    if (machine == "x86_64" || machine == "amd64")
        return PROCESSOR_ARCHITECTURE_AMD64;
    if (machine == "aarch64" || machine == "arm64")
        return PROCESSOR_ARCHITECTURE_ARM64;
    if (machine == "ia64")
        return PROCESSOR_ARCHITECTURE_IA64;
    if (machine.size() == 4 && machine[0] == 'i' && machine.substr(2) == "86")
        return PROCESSOR_ARCHITECTURE_INTEL;
    if (machine.compare(0, 3, "arm") == 0)
        return PROCESSOR_ARCHITECTURE_ARM;
    return PROCESSOR_ARCHITECTURE_UNKNOWN;
}

// The processor type numbers of SYSTEM_INFO (PROCESSOR_INTEL_386 and so on).
DWORD ProcessorTypeOf(WORD architecture) {
    switch (architecture) {
        case PROCESSOR_ARCHITECTURE_AMD64:
            return 8664;
        case PROCESSOR_ARCHITECTURE_INTEL:
            return 586;
        case PROCESSOR_ARCHITECTURE_IA64:
            return 2200;
        default:
            return 0;
    }
}

}  // namespace

void SetMachineForTesting(const char* machine) {
    MachineOverride& o = Override();
    std::lock_guard lock(o.mutex);
    o.machine = machine ? machine : "";
}

}  // namespace winlayer

void WINAPI GetNativeSystemInfo(LPSYSTEM_INFO systemInfo) {
    if (systemInfo == nullptr)
        return;
    std::memset(systemInfo, 0, sizeof *systemInfo);
    WORD architecture = winlayer::ArchitectureOf(winlayer::MachineName());
    long processors = sysconf(_SC_NPROCESSORS_ONLN);
    long pageSize = sysconf(_SC_PAGESIZE);
    if (processors < 1)
        processors = 1;
    systemInfo->wProcessorArchitecture = architecture;
    systemInfo->dwPageSize = pageSize > 0 ? static_cast<DWORD>(pageSize) : 4096;
    // The user address range and allocation granularity of 64-bit Windows.
    systemInfo->lpMinimumApplicationAddress = reinterpret_cast<LPVOID>(0x10000);
    systemInfo->lpMaximumApplicationAddress = reinterpret_cast<LPVOID>(0x7FFFFFFEFFFF);
    systemInfo->dwNumberOfProcessors = static_cast<DWORD>(processors);
    systemInfo->dwActiveProcessorMask =
        processors >= 64 ? ~DWORD_PTR{0} : (DWORD_PTR{1} << processors) - 1;
    systemInfo->dwProcessorType = winlayer::ProcessorTypeOf(architecture);
    systemInfo->dwAllocationGranularity = 0x10000;
}
