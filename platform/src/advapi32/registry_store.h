// The registry's storage: one text file per hive under $WINROOT/registry/ (HKLM.reg, HKCR.reg,
// HKCU.reg) in the "Windows Registry Editor Version 5.00" format, written in UTF-8 with LF line
// ends so that a person can read, grep and diff it. Every change is a read-modify-write of the
// whole hive under an advisory lock (flock on HKxx.reg.lock), written to a temporary file and
// renamed over the hive, so concurrent writers never lose a change and readers never see half a
// file.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace winlayer {

enum class Hive { LocalMachine, ClassesRoot, CurrentUser };

// Windows keeps the registry tree at most 512 levels deep below a hive's root.
inline constexpr size_t kMaxKeyDepth = 512;

struct RegistryValue {
    std::string name;  // UTF-8; empty for the default value
    DWORD type = REG_NONE;
    std::string data;  // the bytes as stored; string types hold UTF-16LE
};

// A key with its name as created, its values in the order they were first set and its subkeys
// sorted by name, so that a subkey is found by binary search. Names compare without regard to
// ASCII case.
struct RegistryKey {
    std::string name;
    std::vector<RegistryValue> values;
    std::vector<std::unique_ptr<RegistryKey>> subkeys;

    RegistryKey() = default;
    // Destroys the tree below without recursion, however deep it is.
    ~RegistryKey();
    RegistryKey(RegistryKey&&) = default;
    RegistryKey& operator=(RegistryKey&&) = default;

    RegistryKey* FindSubkey(std::string_view subkeyName) const;
    RegistryKey& AddSubkey(std::string subkeyName);
    bool RemoveSubkey(std::string_view subkeyName);
    RegistryValue* FindValue(std::string_view valueName);
    // Replaces the data and type of an existing value (keeping its name and place) or appends it.
    void SetValue(std::string_view valueName, DWORD type, std::string data);
    // The key at `path` below this one, or null.
    RegistryKey* Find(const std::vector<std::string>& path);
};

// "HKEY_LOCAL_MACHINE", "HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER".
const char* HiveRootName(Hive hive);
// $WINROOT/registry/HKLM.reg and its siblings.
std::string HiveFilePath(Hive hive);

// The tree of a hive file's text, or null when a line cannot be read or names a key deeper than
// kMaxKeyDepth. Accepts a UTF-8 byte-order mark, UTF-16LE text with its mark (as regedit
// exports), CR LF line ends and ";" comments.
std::optional<RegistryKey> ParseHive(Hive hive, std::string_view text);
// The text form of a hive: strings that are plain text ending in one terminator as "text", four
// byte REG_DWORD values as dword:, everything else as hex(type): bytes.
std::string FormatHive(Hive hive, const RegistryKey& root);

// True when the hive file exists without its owner-write permission bit: a read-only hive
// refuses every change with ERROR_ACCESS_DENIED (checked here because tests run as root).
bool HiveRefusesChanges(Hive hive);

// Reads the hive as it is on disk now. A hive without a file holds only the keys every Windows
// installation has (the Uninstall keys of both registry views in HKLM, Software in HKCU). Returns a
// Win32 error code: ERROR_BADDB for a file that cannot be parsed, ERROR_CANTREAD when it cannot be
// read.
LONG ReadHive(Hive hive, RegistryKey* root);

// Under the hive's lock: reads it, lets `change` modify it and, when `change` returns
// ERROR_SUCCESS and sets *changed, writes it back atomically. Returns `change`'s result or the
// storage's error (ERROR_ACCESS_DENIED for a read-only hive, ERROR_CANTWRITE, ERROR_DISK_FULL).
LONG UpdateHive(Hive hive, const std::function<LONG(RegistryKey& root, bool* changed)>& change);

}  // namespace winlayer
