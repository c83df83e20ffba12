// Writes the documented Shell Link binary format.
#include "shell32/shell_link_file.h"

#include "kernel32/codepage.h"

namespace winlayer {
namespace {

// LinkFlags
constexpr DWORD kHasLinkInfo = 0x2;
constexpr DWORD kHasName = 0x4;
constexpr DWORD kHasRelativePath = 0x8;
constexpr DWORD kHasWorkingDir = 0x10;
constexpr DWORD kHasArguments = 0x20;
constexpr DWORD kHasIconLocation = 0x40;
constexpr DWORD kIsUnicode = 0x80;

constexpr DWORD kHeaderSize = 0x4C;
constexpr DWORD kLinkInfoHeaderSize = 0x24;  // with the Unicode path offsets
constexpr DWORD kVolumeIdAndLocalBasePath = 0x1;
constexpr DWORD kDriveFixed = 3;
constexpr DWORD kShowNormal = 1;

void Put16(std::string& out, WORD value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>(value >> 8);
}

void Put32(std::string& out, DWORD value) {
    for (int shift = 0; shift < 32; shift += 8)
        out += static_cast<char>((value >> shift) & 0xFF);
}

void PutFileTime(std::string& out, const FILETIME& time) {
    Put32(out, time.dwLowDateTime);
    Put32(out, time.dwHighDateTime);
}

void PutWide(std::string& out, std::u16string_view text) {
    for (char16_t unit : text)
        Put16(out, unit);
}

// A StringData entry: a count of characters, then the characters without terminator.
void PutCountedString(std::string& out, std::u16string_view text) {
    if (text.size() > 0xFFFF)
        text = text.substr(0, 0xFFFF);
    Put16(out, static_cast<WORD>(text.size()));
    PutWide(out, text);
}

bool HasDriveLetter(std::u16string_view path) {
    return path.size() >= 3 && path[1] == u':' && (path[2] == u'\\' || path[2] == u'/') &&
           ((path[0] >= u'A' && path[0] <= u'Z') || (path[0] >= u'a' && path[0] <= u'z'));
}

std::string LinkInfo(const ShellLinkContent& content) {
    std::string volume;
    Put32(volume, 0x11);  // VolumeIDSize: the fields and an empty label
    Put32(volume, kDriveFixed);
    Put32(volume, content.driveSerialNumber);
    Put32(volume, 0x10);  // VolumeLabelOffset
    volume += '\0';

    std::string ansiPath = AnsiFromWide(content.target);
    DWORD volumeOffset = kLinkInfoHeaderSize;
    DWORD basePathOffset = volumeOffset + static_cast<DWORD>(volume.size());
    DWORD suffixOffset = basePathOffset + static_cast<DWORD>(ansiPath.size()) + 1;
    DWORD basePathUnicodeOffset = suffixOffset + 1;
    DWORD suffixUnicodeOffset =
        basePathUnicodeOffset + static_cast<DWORD>(content.target.size() + 1) * 2;
    DWORD size = suffixUnicodeOffset + 2;

    std::string out;
    Put32(out, size);
    Put32(out, kLinkInfoHeaderSize);
    Put32(out, kVolumeIdAndLocalBasePath);
    Put32(out, volumeOffset);
    Put32(out, basePathOffset);
    Put32(out, 0);  // CommonNetworkRelativeLinkOffset
    Put32(out, suffixOffset);
    Put32(out, basePathUnicodeOffset);
    Put32(out, suffixUnicodeOffset);
    out += volume;
    out += ansiPath;
    out += '\0';
    out += '\0';  // empty CommonPathSuffix
    PutWide(out, content.target);
    Put16(out, 0);
    Put16(out, 0);  // empty CommonPathSuffixUnicode
    return out;
}

}  // namespace

std::string FormatShellLink(const ShellLinkContent& content) {
    bool hasLinkInfo = HasDriveLetter(content.target);
    bool hasRelativePath = !hasLinkInfo && !content.target.empty();
    DWORD flags = kIsUnicode;
    if (hasLinkInfo)
        flags |= kHasLinkInfo;
    if (!content.description.empty())
        flags |= kHasName;
    if (hasRelativePath)
        flags |= kHasRelativePath;
    if (!content.workingDirectory.empty())
        flags |= kHasWorkingDir;
    if (!content.arguments.empty())
        flags |= kHasArguments;
    if (!content.iconLocation.empty())
        flags |= kHasIconLocation;

    std::string out;
    Put32(out, kHeaderSize);
    // LinkCLSID 00021401-0000-0000-C000-000000000046 in its stored byte order.
    out.append("\x01\x14\x02\x00\x00\x00\x00\x00\xC0\x00\x00\x00\x00\x00\x00\x46", 16);
    Put32(out, flags);
    Put32(out, content.targetAttributes);
    PutFileTime(out, content.creationTime);
    PutFileTime(out, content.accessTime);
    PutFileTime(out, content.writeTime);
    Put32(out, content.targetSize);
    Put32(out, static_cast<DWORD>(content.iconIndex));
    Put32(out, kShowNormal);
    Put16(out, 0);  // HotKey
    Put16(out, 0);  // Reserved1
    Put32(out, 0);  // Reserved2
    Put32(out, 0);  // Reserved3

    if (hasLinkInfo)
        out += LinkInfo(content);
    if (flags & kHasName)
        PutCountedString(out, content.description);
    if (hasRelativePath)
        PutCountedString(out, content.target);
    if (flags & kHasWorkingDir)
        PutCountedString(out, content.workingDirectory);
    if (flags & kHasArguments)
        PutCountedString(out, content.arguments);
    if (flags & kHasIconLocation)
        PutCountedString(out, content.iconLocation);
    Put32(out, 0);  // TerminalBlock
    return out;
}

}  // namespace winlayer
