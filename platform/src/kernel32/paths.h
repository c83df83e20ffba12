// Windows paths on Linux. C: is $WINROOT/drive_c and Z: is /; "\" and "/" both separate; a path
// that begins with a separator is a Linux path (on Z:); the current directory is the Linux
// working directory in Windows form (C:\... inside the root, Z:\... elsewhere). Names are UTF-8
// on disk.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

namespace winlayer {

// The root folder of the Windows world: $WINROOT, or ${XDG_DATA_HOME:-$HOME/.local/share}/winroot.
std::string WinRoot();

// The full Windows form of a path (UTF-8): drive letter, backslashes, "." and ".." resolved,
// trailing dots and blanks of the last name dropped. Disk is not consulted. Fails with
// ERROR_INVALID_NAME for characters Windows forbids and ERROR_BAD_PATHNAME for UNC paths.
std::optional<std::string> FullWindowsPath(std::string_view path, DWORD* error);

// The Linux path of a Windows path (UTF-8). Each component that exists on disk with a different
// letter case resolves to that existing name, as Windows file systems ignore case; the first
// missing component and those after it are kept as given. A path on C: first gives the root its
// standard folders (PrepareRoot). Fails with ERROR_PATH_NOT_FOUND for a drive other than C: and
// Z:, and as FullWindowsPath.
std::optional<std::string> UnixPath(std::string_view windowsPath, DWORD* error);
// The same for a path given in the ANSI code page (A functions) or in UTF-16 (W functions).
std::optional<std::string> UnixPathFromAnsi(const char* windowsPath, DWORD* error);
std::optional<std::string> UnixPathFromWide(const WCHAR* windowsPath, DWORD* error);
// The Linux path of `relative` (names separated by "\" or "/") under the Linux folder `base`
// ("" for /), each name resolved to an existing one in another letter case as UnixPath does.
std::string ResolveUnder(const std::string& base, std::string_view relative);

// The Windows form (UTF-8) of an absolute Linux path: C:\... inside $WINROOT/drive_c, else Z:\... .
std::string WindowsPathOf(std::string_view unixPath);

// ASCII letters compare without case, as Windows compares names; other characters as they are.
char AsciiLower(char c);
bool EqualsIgnoringCase(std::string_view a, std::string_view b);

}  // namespace winlayer
