// Test interface of the machine description and the module exports; product code does not
// include it.
#pragma once

namespace winlayer {

// Makes GetNativeSystemInfo describe this machine type (a `uname -m` name such as "aarch64" or
// "i686") instead of the real one; null restores the real machine.
void SetMachineForTesting(const char* machine);

// Makes GetProcAddress find no export of this name in "kernel32", as on a Windows version that
// lacks it; null restores every export.
void HideKernel32ExportForTesting(const char* procName);

}  // namespace winlayer
