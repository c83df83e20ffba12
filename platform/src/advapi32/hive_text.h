// The registry's text form of a hive: "Windows Registry Editor Version 5.00", one section per
// key, as regedit exports it.
#pragma once

#include "advapi32/registry_key.h"

#include <optional>
#include <string>
#include <string_view>

namespace winlayer {

enum class Hive { LocalMachine, ClassesRoot, CurrentUser };

// "HKEY_LOCAL_MACHINE", "HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER".
const char* HiveRootName(Hive hive);

// The tree of a hive file's text, or null when a line cannot be read or names a key deeper than
// kMaxKeyDepth. Accepts a UTF-8 byte-order mark, UTF-16LE text with its mark (as regedit
// exports), CR LF line ends and ";" comments.
std::optional<RegistryKey> ParseHive(Hive hive, std::string_view text);
// The text form of a hive: strings that are plain text ending in one terminator as "text", four
// byte REG_DWORD values as dword:, everything else as hex(type): bytes.
std::string FormatHive(Hive hive, const RegistryKey& root);

}  // namespace winlayer
