// Registry keys and values over the hive files of registry_store. Every call reads the hive as
// it is on disk, so a key opened here sees what other processes wrote; every change is a locked
// read-modify-write.
#include "advapi32/registry_store.h"

#include "kernel32/codepage.h"
#include "common/handle_table.h"
#include "kernel32/paths.h"

#include <winlayer/registry.h>

#include <algorithm>
#include <cstring>
#include <mutex>

namespace winlayer {
namespace {

struct KeyObject {
    Hive hive;
    std::vector<std::string> path;  // below the hive's root, UTF-8
    REGSAM access;
};

HandleTable<const KeyObject>& Keys() {
    static HandleTable<const KeyObject> table(0x20000);
    return table;
}

// Test interface: a value name whose writes are refused.
struct RefusedValue {
    std::mutex mutex;
    std::string name;
};

RefusedValue& Refused() {
    static RefusedValue refused;
    return refused;
}

std::optional<Hive> PredefinedHive(HKEY key) {
    if (key == HKEY_LOCAL_MACHINE)
        return Hive::LocalMachine;
    if (key == HKEY_CLASSES_ROOT)
        return Hive::ClassesRoot;
    if (key == HKEY_CURRENT_USER)
        return Hive::CurrentUser;
    return std::nullopt;
}

std::shared_ptr<const KeyObject> LookupKey(HKEY key) {
    if (std::optional<Hive> hive = PredefinedHive(key))
        return std::make_shared<KeyObject>(KeyObject{*hive, {}, KEY_ALL_ACCESS});
    return Keys().Find(reinterpret_cast<ULONG_PTR>(key));
}

HKEY NewKey(KeyObject object) {
    return reinterpret_cast<HKEY>(Keys().Add(std::make_shared<const KeyObject>(std::move(object))));
}

bool IsRefusedValue(std::string_view name) {
    RefusedValue& refused = Refused();
    std::lock_guard lock(refused.mutex);
    return !refused.name.empty() && EqualsIgnoringCase(refused.name, name);
}

bool HasControlCharacter(std::string_view name) {
    return std::any_of(name.begin(), name.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

// Appends the components of a subkey path to `path`. A trailing backslash is ignored; a leading
// one is accepted below HKEY_CLASSES_ROOT only, as Windows NT accepts it there.
LONG AppendSubkeyPath(const KeyObject& parent, std::string_view subKey,
                      std::vector<std::string>* path) {
    *path = parent.path;
    if (!subKey.empty() && subKey[0] == '\\') {
        if (parent.hive != Hive::ClassesRoot || !parent.path.empty())
            return ERROR_BAD_PATHNAME;
        subKey.remove_prefix(1);
    }
    while (!subKey.empty() && subKey.back() == '\\')
        subKey.remove_suffix(1);
    while (!subKey.empty()) {
        size_t slash = subKey.find('\\');
        std::string_view part = subKey.substr(0, slash);
        if (part.empty())
            return ERROR_BAD_PATHNAME;
        // The hive's text format keeps one name per line.
        if (HasControlCharacter(part) || part.size() > 255)
            return ERROR_INVALID_PARAMETER;
        path->emplace_back(part);
        subKey = slash == std::string_view::npos ? std::string_view() : subKey.substr(slash + 1);
    }
    // No key lies deeper than Windows' limit of levels.
    if (path->size() > kMaxKeyDepth)
        return ERROR_INVALID_PARAMETER;
    return ERROR_SUCCESS;
}

bool IsStringType(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

LONG OpenKey(HKEY key, std::string_view subKey, REGSAM desired, PHKEY result) {
    std::shared_ptr<const KeyObject> parent = LookupKey(key);
    if (!parent)
        return ERROR_INVALID_HANDLE;
    KeyObject object{parent->hive, {}, desired};
    if (LONG error = AppendSubkeyPath(*parent, subKey, &object.path); error != ERROR_SUCCESS)
        return error;
    if ((desired & (KEY_SET_VALUE | KEY_CREATE_SUB_KEY)) != 0 && HiveRefusesChanges(object.hive))
        return ERROR_ACCESS_DENIED;
    RegistryKey root;
    if (LONG error = ReadHive(object.hive, &root); error != ERROR_SUCCESS)
        return error;
    if (root.Find(object.path) == nullptr)
        return ERROR_FILE_NOT_FOUND;
    *result = NewKey(std::move(object));
    return ERROR_SUCCESS;
}

LONG CreateKey(HKEY key, std::string_view subKey, PHKEY result) {
    std::shared_ptr<const KeyObject> parent = LookupKey(key);
    if (!parent)
        return ERROR_INVALID_HANDLE;
    // RegCreateKey hands back a predefined key itself when no subkey is named.
    if (subKey.empty() && PredefinedHive(key)) {
        *result = key;
        return ERROR_SUCCESS;
    }
    KeyObject object{parent->hive, {}, KEY_ALL_ACCESS};
    if (LONG error = AppendSubkeyPath(*parent, subKey, &object.path); error != ERROR_SUCCESS)
        return error;
    LONG error = UpdateHive(object.hive, [&](RegistryKey& root, bool* changed) -> LONG {
        RegistryKey* at = root.Find(parent->path);
        if (at == nullptr)
            return ERROR_KEY_DELETED;
        for (size_t i = parent->path.size(); i < object.path.size(); ++i) {
            RegistryKey* next = at->FindSubkey(object.path[i]);
            if (next == nullptr) {
                next = &at->AddSubkey(object.path[i]);
                *changed = true;
            }
            at = next;
        }
        return ERROR_SUCCESS;
    });
    if (error != ERROR_SUCCESS)
        return error;
    *result = NewKey(std::move(object));
    return ERROR_SUCCESS;
}

LONG SetValue(HKEY key, const std::string& name, DWORD type, std::string data) {
    std::shared_ptr<const KeyObject> object = LookupKey(key);
    if (!object)
        return ERROR_INVALID_HANDLE;
    if ((object->access & KEY_SET_VALUE) == 0 || IsRefusedValue(name))
        return ERROR_ACCESS_DENIED;
    if (HasControlCharacter(name) || name.size() > 16383)
        return ERROR_INVALID_PARAMETER;
    return UpdateHive(object->hive, [&](RegistryKey& root, bool* changed) -> LONG {
        RegistryKey* at = root.Find(object->path);
        if (at == nullptr)
            return ERROR_KEY_DELETED;
        at->SetValue(name, type, std::move(data));
        *changed = true;
        return ERROR_SUCCESS;
    });
}

// Finds a value for RegQueryValueEx: its type and stored bytes.
LONG FindValue(HKEY key, const std::string& name, RegistryValue* found) {
    std::shared_ptr<const KeyObject> object = LookupKey(key);
    if (!object)
        return ERROR_INVALID_HANDLE;
    if ((object->access & KEY_QUERY_VALUE) == 0)
        return ERROR_ACCESS_DENIED;
    RegistryKey root;
    if (LONG error = ReadHive(object->hive, &root); error != ERROR_SUCCESS)
        return error;
    RegistryKey* at = root.Find(object->path);
    if (at == nullptr)
        return ERROR_KEY_DELETED;
    RegistryValue* value = at->FindValue(name);
    if (value == nullptr)
        return ERROR_FILE_NOT_FOUND;
    *found = *value;
    return ERROR_SUCCESS;
}

// Copies value data out by RegQueryValueEx's size rules. `unit` is the size of one character of
// the caller's text, for string types.
LONG CopyValueOut(const RegistryValue& value, const std::string& bytes, size_t unit, LPDWORD type,
                  LPBYTE data, LPDWORD size) {
    if (type != nullptr)
        *type = value.type;
    if (bytes.size() > 0xFFFFFFFFu)
        return ERROR_MORE_DATA;
    DWORD needed = static_cast<DWORD>(bytes.size());
    if (data == nullptr) {
        if (size != nullptr)
            *size = needed;
        return ERROR_SUCCESS;
    }
    if (*size < needed) {
        *size = needed;
        return ERROR_MORE_DATA;
    }
    std::memcpy(data, bytes.data(), bytes.size());
    // Windows terminates string data stored without its terminator when the buffer has room.
    bool terminated =
        bytes.size() >= unit && std::all_of(bytes.end() - static_cast<std::ptrdiff_t>(unit),
                                            bytes.end(), [](char c) { return c == 0; });
    if (IsStringType(value.type) && !terminated && *size >= needed + unit)
        std::memset(data + needed, 0, unit);
    *size = needed;
    return ERROR_SUCCESS;
}

}  // namespace

void RefuseRegistryValueWrites(const char* valueName) {
    RefusedValue& refused = Refused();
    std::lock_guard lock(refused.mutex);
    refused.name = valueName ? Utf8FromAnsi(valueName) : std::string();
}

}  // namespace winlayer

using namespace winlayer;

LONG WINAPI RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD, REGSAM desired, PHKEY result) {
    if (result == nullptr)
        return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    return OpenKey(key, subKey ? Utf8FromAnsi(subKey) : std::string(), desired, result);
}

LONG WINAPI RegCreateKeyA(HKEY key, LPCSTR subKey, PHKEY result) {
    if (result == nullptr)
        return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    return CreateKey(key, subKey ? Utf8FromAnsi(subKey) : std::string(), result);
}

LONG WINAPI RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD, DWORD type, const BYTE* data,
                           DWORD size) {
    if (data == nullptr && size != 0)
        return ERROR_INVALID_PARAMETER;
    // Windows NT counts a terminator that the caller left out of the size when one follows the
    // string.
    if (IsStringType(type) && size >= 2 && size % 2 == 0) {
        const auto* text = reinterpret_cast<const WCHAR*>(data);
        if (text[size / 2 - 1] != 0 && text[size / 2] == 0)
            size += 2;
    }
    std::string name = valueName ? Utf8FromWide(valueName) : std::string();
    return SetValue(key, name, type, std::string(reinterpret_cast<const char*>(data), size));
}

LONG WINAPI RegSetValueExA(HKEY key, LPCSTR valueName, DWORD, DWORD type, const BYTE* data,
                           DWORD size) {
    if (data == nullptr && size != 0)
        return ERROR_INVALID_PARAMETER;
    std::string bytes(reinterpret_cast<const char*>(data), size);
    if (IsStringType(type)) {
        // Windows NT counts a terminator that the caller left out of the size when one follows.
        if (size >= 1 && data[size - 1] != 0 && data[size] == 0)
            bytes.push_back('\0');
        std::u16string wide = WideFromAnsi(bytes);
        bytes.assign(reinterpret_cast<const char*>(wide.data()), wide.size() * 2);
    }
    std::string name = valueName ? Utf8FromAnsi(valueName) : std::string();
    return SetValue(key, name, type, std::move(bytes));
}

LONG WINAPI RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD reserved, LPDWORD type,
                             LPBYTE data, LPDWORD size) {
    if (reserved != nullptr || (data != nullptr && size == nullptr))
        return ERROR_INVALID_PARAMETER;
    RegistryValue value;
    LONG error = FindValue(key, valueName ? Utf8FromWide(valueName) : std::string(), &value);
    if (error != ERROR_SUCCESS)
        return error;
    return CopyValueOut(value, value.data, sizeof(WCHAR), type, data, size);
}

LONG WINAPI RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type,
                             LPBYTE data, LPDWORD size) {
    if (reserved != nullptr || (data != nullptr && size == nullptr))
        return ERROR_INVALID_PARAMETER;
    RegistryValue value;
    LONG error = FindValue(key, valueName ? Utf8FromAnsi(valueName) : std::string(), &value);
    if (error != ERROR_SUCCESS)
        return error;
    std::string bytes = value.data;
    if (IsStringType(value.type)) {
        std::u16string wide(value.data.size() / 2, u'\0');
        std::memcpy(wide.data(), value.data.data(), wide.size() * 2);
        bytes = AnsiFromWide(wide);
    }
    return CopyValueOut(value, bytes, 1, type, data, size);
}

LONG WINAPI RegDeleteTreeA(HKEY key, LPCSTR subKey) {
    std::shared_ptr<const KeyObject> parent = LookupKey(key);
    if (!parent)
        return ERROR_INVALID_HANDLE;
    std::vector<std::string> path;
    LONG error = AppendSubkeyPath(*parent, subKey ? Utf8FromAnsi(subKey) : "", &path);
    if (error != ERROR_SUCCESS)
        return error;
    return UpdateHive(parent->hive, [&](RegistryKey& root, bool* changed) -> LONG {
        if (root.Find(parent->path) == nullptr)
            return ERROR_KEY_DELETED;
        RegistryKey* target = root.Find(path);
        if (target == nullptr)
            return ERROR_FILE_NOT_FOUND;
        // Without a subkey the key itself stays and loses its values and subkeys.
        if (path.size() == parent->path.size()) {
            target->values.clear();
            target->subkeys.clear();
        } else {
            std::vector<std::string> above(path.begin(), path.end() - 1);
            root.Find(above)->RemoveSubkey(path.back());
        }
        *changed = true;
        return ERROR_SUCCESS;
    });
}

LONG WINAPI RegCloseKey(HKEY key) {
    if (PredefinedHive(key))
        return ERROR_SUCCESS;
    return Keys().Remove(reinterpret_cast<ULONG_PTR>(key)) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}
