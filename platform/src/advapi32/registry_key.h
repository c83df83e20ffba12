// The registry's key tree in memory: keys with their values and subkeys.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace winlayer {

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
    // Puts subkeys appended out of order (as a parser appends them) in order by name.
    void SortSubkeys();
};

}  // namespace winlayer
