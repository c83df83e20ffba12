// The Shell Link (.lnk) binary format: a ShellLinkHeader, a LinkInfo whose local base path
// carries the target, the StringData (description, working folder, arguments, icon location in
// UTF-16) and the terminal block.
#pragma once

#include <windows.h>

#include <string>

namespace winlayer {

struct ShellLinkContent {
    std::u16string target;  // a full Windows path
    std::u16string workingDirectory;
    std::u16string arguments;
    std::u16string description;
    std::u16string iconLocation;
    int iconIndex = 0;
    // What the header records of the target as it is on disk; zero when it does not exist.
    DWORD targetAttributes = 0;
    FILETIME creationTime{};
    FILETIME accessTime{};
    FILETIME writeTime{};
    DWORD targetSize = 0;
    DWORD driveSerialNumber = 0;
};

// The bytes of a .lnk file. A target with a drive letter ("C:\...") goes into LinkInfo as the
// local base path, in the ANSI code page and in UTF-16; any other target is kept as the
// relative path of the StringData.
std::string FormatShellLink(const ShellLinkContent& content);

}  // namespace winlayer
