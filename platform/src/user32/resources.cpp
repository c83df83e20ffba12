// String resources of the program: the table embedded at build time from resources/strings.txt.
#include <winlayer/resources.h>

#include "kernel32/codepage.h"

#include <cstring>
#include <map>
#include <mutex>
#include <string>

extern "C" {
extern const unsigned winlayer_string_count;
extern const unsigned winlayer_string_ids[];
extern const char16_t* const winlayer_string_texts[];
}

namespace winlayer {
namespace {

struct StringTable {
    std::mutex mutex;
    std::map<UINT, std::u16string> strings;

    StringTable() { Reset(); }
    void Reset() {
        strings.clear();
        for (unsigned i = 0; i < winlayer_string_count; ++i)
            strings[winlayer_string_ids[i]] = winlayer_string_texts[i];
    }
};

StringTable& Table() {
    static StringTable table;
    return table;
}

// The text of string `id`; the pointer stays valid until a test changes that string.
const std::u16string* FindString(UINT id) {
    StringTable& table = Table();
    std::lock_guard lock(table.mutex);
    auto it = table.strings.find(id);
    return it == table.strings.end() ? nullptr : &it->second;
}

}  // namespace

namespace testing {

void SetStringResource(UINT id, std::u16string_view text) {
    StringTable& table = Table();
    std::lock_guard lock(table.mutex);
    table.strings[id] = std::u16string(text);
}

void RemoveStringResource(UINT id) {
    StringTable& table = Table();
    std::lock_guard lock(table.mutex);
    table.strings.erase(id);
}

void ResetStringResources() {
    StringTable& table = Table();
    std::lock_guard lock(table.mutex);
    table.Reset();
}

}  // namespace testing
}  // namespace winlayer

using namespace winlayer;

int WINAPI LoadStringW(HINSTANCE, UINT id, LPWSTR buffer, int bufferMax) {
    if (buffer == nullptr || bufferMax < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const std::u16string* text = FindString(id);
    if (bufferMax == 0) {
        // Hands out a read-only pointer to the resource itself.
        *reinterpret_cast<const WCHAR**>(buffer) = text ? text->c_str() : nullptr;
    } else {
        size_t count = text ? std::min(text->size(), static_cast<size_t>(bufferMax - 1)) : 0;
        if (count > 0)
            std::memcpy(buffer, text->data(), count * sizeof(WCHAR));
        buffer[count] = 0;
    }
    if (!text) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return 0;
    }
    return bufferMax == 0
               ? static_cast<int>(text->size())
               : static_cast<int>(std::min(text->size(), static_cast<size_t>(bufferMax - 1)));
}

int WINAPI LoadStringA(HINSTANCE, UINT id, LPSTR buffer, int bufferMax) {
    if (buffer == nullptr || bufferMax <= 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    buffer[0] = '\0';
    const std::u16string* text = FindString(id);
    if (!text) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return 0;
    }
    // Converted to the ANSI code page and cut to bufferMax - 1 bytes, never inside a
    // double-byte character.
    std::string ansi = AnsiFromWide(*text);
    size_t count = 0;
    while (count < ansi.size()) {
        size_t width = static_cast<unsigned char>(ansi[count]) >= 0x81 ? 2 : 1;
        if (count + width > static_cast<size_t>(bufferMax - 1))
            break;
        count += width;
    }
    std::memcpy(buffer, ansi.data(), count);
    buffer[count] = '\0';
    return static_cast<int>(count);
}
