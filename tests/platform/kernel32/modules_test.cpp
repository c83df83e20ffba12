#include <windows.h>

#include <winlayer/system_info.h>

#include <gtest/gtest.h>

#include <sys/utsname.h>

#include <cstring>
#include <string>

namespace {

using NativeSystemInfoProc = void(WINAPI*)(LPSYSTEM_INFO);

NativeSystemInfoProc LookUpNativeSystemInfo() {
    FARPROC proc = GetProcAddress(GetModuleHandleW(u"kernel32"), "GetNativeSystemInfo");
    return reinterpret_cast<NativeSystemInfoProc>(reinterpret_cast<void (*)()>(proc));
}

TEST(Modules, Kernel32IsKnownByItsNames) {
    for (const WCHAR* name : {u"kernel32", u"KERNEL32.DLL", u"Kernel32.dll"})
        EXPECT_EQ(GetModuleHandleW(name), GetModuleHandleW(u"kernel32"));
    EXPECT_NE(GetModuleHandleW(u"kernel32"), nullptr);
    EXPECT_NE(GetModuleHandleW(nullptr), nullptr);
    EXPECT_NE(GetModuleHandleW(nullptr), GetModuleHandleW(u"kernel32"));
    SetLastError(0);
    EXPECT_EQ(GetModuleHandleW(u"user32"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

TEST(Modules, GetProcAddressFindsExportsByExactName) {
    HMODULE kernel = GetModuleHandleW(u"kernel32");
    EXPECT_NE(LookUpNativeSystemInfo(), nullptr);
    struct Row {
        HMODULE module;
        const char* name;
        DWORD error;
    } rows[] = {
        {kernel, "getnativesysteminfo", ERROR_PROC_NOT_FOUND},
        {kernel, "NoSuchExport", ERROR_PROC_NOT_FOUND},
        {kernel, reinterpret_cast<const char*>(1), ERROR_PROC_NOT_FOUND},
        {reinterpret_cast<HMODULE>(0x1000), "GetNativeSystemInfo", ERROR_MOD_NOT_FOUND},
    };
    for (const Row& row : rows) {
        SetLastError(0xdeadbeef);
        EXPECT_EQ(GetProcAddress(row.module, row.name), nullptr);
        EXPECT_EQ(GetLastError(), row.error);
    }
    winlayer::HideKernel32ExportForTesting("GetNativeSystemInfo");
    EXPECT_EQ(LookUpNativeSystemInfo(), nullptr);
    winlayer::HideKernel32ExportForTesting(nullptr);
    EXPECT_NE(LookUpNativeSystemInfo(), nullptr);
}

TEST(Modules, NativeSystemInfoNamesTheMachine) {
    struct Row {
        const char* machine;
        WORD architecture;
    } rows[] = {
        {"x86_64", PROCESSOR_ARCHITECTURE_AMD64}, {"aarch64", PROCESSOR_ARCHITECTURE_ARM64},
        {"i686", PROCESSOR_ARCHITECTURE_INTEL},   {"armv7l", PROCESSOR_ARCHITECTURE_ARM},
        {"ia64", PROCESSOR_ARCHITECTURE_IA64},    {"riscv64", PROCESSOR_ARCHITECTURE_UNKNOWN},
    };
    for (const Row& row : rows) {
        winlayer::SetMachineForTesting(row.machine);
        SYSTEM_INFO info;
        std::memset(&info, 0xbd, sizeof info);
        LookUpNativeSystemInfo()(&info);
        EXPECT_EQ(info.wProcessorArchitecture, row.architecture) << row.machine;
        EXPECT_EQ(info.wReserved, 0);
        EXPECT_GE(info.dwNumberOfProcessors, 1u);
        EXPECT_EQ(info.dwAllocationGranularity, 0x10000u);
    }
    winlayer::SetMachineForTesting(nullptr);
    utsname names;
    ASSERT_EQ(uname(&names), 0);
    SYSTEM_INFO info{};
    GetNativeSystemInfo(&info);
    if (std::string(names.machine) == "x86_64") {
        EXPECT_EQ(info.wProcessorArchitecture, PROCESSOR_ARCHITECTURE_AMD64);
    }
}

TEST(Modules, ModuleFileNameIsCutToTheBuffer) {
    WCHAR name[300];
    DWORD length = GetModuleFileNameW(nullptr, name, 300);
    ASSERT_GT(length, 3u);
    EXPECT_EQ(name[1], u':');
    EXPECT_EQ(name[length], 0);
    WCHAR shortBuffer[4];
    SetLastError(0);
    EXPECT_EQ(GetModuleFileNameW(nullptr, shortBuffer, 4), 4u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(shortBuffer[3], 0);
    EXPECT_EQ(std::u16string(shortBuffer), std::u16string(name, 3));
}

}  // namespace
