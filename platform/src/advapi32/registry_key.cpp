// The registry's key tree: subkeys kept sorted by name without regard to ASCII case, found by
// binary search.
#include "advapi32/registry_key.h"

#include "kernel32/paths.h"

#include <algorithm>

namespace winlayer {
namespace {

bool LessIgnoringCase(std::string_view a, std::string_view b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return AsciiLower(x) < AsciiLower(y);
    });
}

// The first subkey whose name does not sort before `subkeyName`.
auto LowerBound(const std::vector<std::unique_ptr<RegistryKey>>& subkeys,
                std::string_view subkeyName) {
    return std::lower_bound(subkeys.begin(), subkeys.end(), subkeyName,
                            [](const std::unique_ptr<RegistryKey>& k, std::string_view name) {
                                return LessIgnoringCase(k->name, name);
                            });
}

}  // namespace

RegistryKey::~RegistryKey() {
    std::vector<std::unique_ptr<RegistryKey>> pending = std::move(subkeys);
    while (!pending.empty()) {
        std::unique_ptr<RegistryKey> key = std::move(pending.back());
        pending.pop_back();
        for (auto& subkey : key->subkeys)
            pending.push_back(std::move(subkey));
        key->subkeys.clear();
    }
}

RegistryKey* RegistryKey::FindSubkey(std::string_view subkeyName) const {
    auto it = LowerBound(subkeys, subkeyName);
    return it != subkeys.end() && EqualsIgnoringCase((*it)->name, subkeyName) ? it->get() : nullptr;
}

RegistryKey& RegistryKey::AddSubkey(std::string subkeyName) {
    auto at = std::upper_bound(subkeys.begin(), subkeys.end(), subkeyName,
                               [](const std::string& name, const std::unique_ptr<RegistryKey>& k) {
                                   return LessIgnoringCase(name, k->name);
                               });
    auto key = std::make_unique<RegistryKey>();
    key->name = std::move(subkeyName);
    return **subkeys.insert(at, std::move(key));
}

bool RegistryKey::RemoveSubkey(std::string_view subkeyName) {
    auto it = LowerBound(subkeys, subkeyName);
    if (it == subkeys.end() || !EqualsIgnoringCase((*it)->name, subkeyName))
        return false;
    subkeys.erase(it);
    return true;
}

RegistryValue* RegistryKey::FindValue(std::string_view valueName) {
    for (RegistryValue& value : values) {
        if (EqualsIgnoringCase(value.name, valueName))
            return &value;
    }
    return nullptr;
}

void RegistryKey::SetValue(std::string_view valueName, DWORD type, std::string data) {
    if (RegistryValue* value = FindValue(valueName)) {
        value->type = type;
        value->data = std::move(data);
        return;
    }
    values.push_back(RegistryValue{std::string(valueName), type, std::move(data)});
}

RegistryKey* RegistryKey::Find(const std::vector<std::string>& path) {
    RegistryKey* key = this;
    for (const std::string& part : path) {
        key = key->FindSubkey(part);
        if (key == nullptr)
            return nullptr;
    }
    return key;
}

void RegistryKey::SortSubkeys() {
    std::sort(subkeys.begin(), subkeys.end(),
              [](const std::unique_ptr<RegistryKey>& a, const std::unique_ptr<RegistryKey>& b) {
                  return LessIgnoringCase(a->name, b->name);
              });
}

}  // namespace winlayer
