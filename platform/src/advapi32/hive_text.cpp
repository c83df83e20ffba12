// The registry's text format: parsing a hive file's text into a key tree and formatting a tree
// back, as regedit exports it.
#include "advapi32/hive_text.h"

#include "kernel32/codepage.h"
#include "kernel32/paths.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <unordered_map>

namespace winlayer {
namespace {

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";

std::string Escape(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c == '\\' || c == '"')
            out += '\\';
        out += c;
    }
    return out;
}

// Reads a quoted, escaped text at the start of `line`; leaves `line` after the closing quote.
std::optional<std::string> ReadQuoted(std::string_view& line) {
    if (line.empty() || line[0] != '"')
        return std::nullopt;
    std::string out;
    for (size_t i = 1; i < line.size(); ++i) {
        char c = line[i];
        if (c == '"') {
            line.remove_prefix(i + 1);
            return out;
        }
        if (c == '\\') {
            if (++i == line.size() || (line[i] != '\\' && line[i] != '"'))
                return std::nullopt;
            c = line[i];
        }
        out += c;
    }
    return std::nullopt;
}

// The text of REG_SZ data that the quoted form carries exactly: UTF-16 ending in its only NUL,
// no lone surrogates and no line breaks or other control characters but TAB.
std::optional<std::string> QuotableText(const RegistryValue& value) {
    const std::string& data = value.data;
    if (value.type != REG_SZ || data.size() < 2 || data.size() % 2 != 0)
        return std::nullopt;
    std::u16string units(data.size() / 2 - 1, u'\0');
    std::memcpy(units.data(), data.data(), units.size() * 2);
    if (data[data.size() - 2] != 0 || data[data.size() - 1] != 0)
        return std::nullopt;
    for (char16_t u : units) {
        if ((u < 0x20 && u != u'\t') || u == 0x7F)
            return std::nullopt;
    }
    std::optional<std::string> utf8 = EncodeCodePage(CP_UTF8, units, true);
    return utf8;
}

std::string HexBytes(std::string_view prefix, std::string_view data) {
    std::string out(prefix);
    size_t lineStart = 0;
    char byte[4];
    for (size_t i = 0; i < data.size(); ++i) {
        std::snprintf(byte, sizeof byte, "%02x", static_cast<unsigned char>(data[i]));
        out += byte;
        if (i + 1 < data.size()) {
            out += ',';
            // regedit wraps long hex data after a comma, continuing with a backslash.
            if (out.size() - lineStart > 76) {
                out += "\\\n  ";
                lineStart = out.size() - 2;
            }
        }
    }
    return out;
}

std::optional<std::string> ParseHex(std::string_view text) {
    std::string out;
    size_t i = 0;
    auto hexDigit = [](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        c = AsciiLower(c);
        return (c >= 'a' && c <= 'f') ? c - 'a' + 10 : -1;
    };
    while (i < text.size()) {
        if (text[i] == ' ' || text[i] == '\t' || text[i] == ',') {
            ++i;
            continue;
        }
        if (i + 1 >= text.size() || hexDigit(text[i]) < 0 || hexDigit(text[i + 1]) < 0)
            return std::nullopt;
        out += static_cast<char>(hexDigit(text[i]) * 16 + hexDigit(text[i + 1]));
        i += 2;
        if (i < text.size() && text[i] != ',' && text[i] != ' ' && text[i] != '\t')
            return std::nullopt;
    }
    return out;
}

// One value line (continuations already joined): @=... or "name"=... .
bool ParseValueLine(std::string_view line, RegistryKey& key) {
    std::string name;
    if (!line.empty() && line[0] == '@') {
        line.remove_prefix(1);
    } else {
        std::optional<std::string> quoted = ReadQuoted(line);
        if (!quoted)
            return false;
        name = std::move(*quoted);
    }
    if (line.empty() || line[0] != '=')
        return false;
    line.remove_prefix(1);
    if (!line.empty() && line[0] == '"') {
        std::optional<std::string> text = ReadQuoted(line);
        if (!text || line.find_first_not_of(" \t") != std::string_view::npos)
            return false;
        std::optional<std::u16string> units = DecodeCodePage(CP_UTF8, *text, true);
        if (!units)
            return false;
        units->push_back(u'\0');
        key.SetValue(name, REG_SZ,
                     std::string(reinterpret_cast<const char*>(units->data()), units->size() * 2));
        return true;
    }
    if (line.substr(0, 6) == "dword:") {
        std::string digits(line.substr(6));
        if (digits.size() != 8 || digits.find_first_not_of("0123456789abcdefABCDEF") != digits.npos)
            return false;
        auto number = static_cast<DWORD>(std::stoul(digits, nullptr, 16));
        std::string data(4, '\0');
        std::memcpy(data.data(), &number, 4);
        key.SetValue(name, REG_DWORD, std::move(data));
        return true;
    }
    DWORD type = REG_BINARY;
    if (line.substr(0, 4) == "hex:") {
        line.remove_prefix(4);
    } else if (line.substr(0, 4) == "hex(") {
        size_t close = line.find("):");
        if (close == std::string_view::npos || close == 4 || close > 12)
            return false;
        std::string digits(line.substr(4, close - 4));
        if (digits.find_first_not_of("0123456789abcdefABCDEF") != digits.npos)
            return false;
        type = static_cast<DWORD>(std::stoul(digits, nullptr, 16));
        line.remove_prefix(close + 2);
    } else {
        return false;
    }
    std::optional<std::string> bytes = ParseHex(line);
    if (!bytes)
        return false;
    key.SetValue(name, type, std::move(*bytes));
    return true;
}

// Splits a section's key path below the root name; null when it names another root or has an
// empty component.
std::optional<std::vector<std::string>> SectionPath(Hive hive, std::string_view path) {
    std::string_view root = HiveRootName(hive);
    if (path.size() < root.size() || !EqualsIgnoringCase(path.substr(0, root.size()), root))
        return std::nullopt;
    path.remove_prefix(root.size());
    std::vector<std::string> parts;
    if (path.empty())
        return parts;
    if (path[0] != '\\')
        return std::nullopt;
    path.remove_prefix(1);
    for (;;) {
        size_t slash = path.find('\\');
        std::string_view part = path.substr(0, slash);
        if (part.empty())
            return std::nullopt;
        parts.emplace_back(part);
        if (slash == std::string_view::npos)
            return parts;
        path.remove_prefix(slash + 1);
    }
}

// The subkeys met while a hive is parsed: appended in the file's order and found through an
// index of folded names, then sorted once, so that many siblings in any order parse in
// n log n time.
class ParsedSubkeys {
  public:
    RegistryKey* Child(RegistryKey* parent, std::string name) {
        std::unordered_map<std::string, RegistryKey*>& names = index_[parent];
        std::string folded = name;
        for (char& c : folded)
            c = AsciiLower(c);
        auto it = names.find(folded);
        if (it != names.end())
            return it->second;
        parent->subkeys.push_back(std::make_unique<RegistryKey>());
        RegistryKey* key = parent->subkeys.back().get();
        key->name = std::move(name);
        names.emplace(std::move(folded), key);
        return key;
    }
    void Sort() {
        for (auto& [parent, names] : index_)
            parent->SortSubkeys();
    }

  private:
    std::unordered_map<RegistryKey*, std::unordered_map<std::string, RegistryKey*>> index_;
};

void FormatKey(const RegistryKey& key, const std::string& path, bool isRoot, std::string& out) {
    if (!isRoot || !key.values.empty()) {
        out += "\n[" + path + "]\n";
        for (const RegistryValue& value : key.values) {
            // GCC 12 at -O3 sees a false overlap in the inlined string copies of the two quoted
            // texts here (-Wrestrict, GCC bug 105329).
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
            out += value.name.empty() ? std::string("@") : "\"" + Escape(value.name) + "\"";
            out += '=';
            char number[32];
            if (std::optional<std::string> text = QuotableText(value)) {
                out += "\"" + Escape(*text) + "\"";
#pragma GCC diagnostic pop
            } else if (value.type == REG_DWORD && value.data.size() == 4) {
                DWORD dword;
                std::memcpy(&dword, value.data.data(), 4);
                std::snprintf(number, sizeof number, "dword:%08x", dword);
                out += number;
            } else if (value.type == REG_BINARY) {
                out += HexBytes("hex:", value.data);
            } else {
                std::snprintf(number, sizeof number, "hex(%x):", value.type);
                out += HexBytes(number, value.data);
            }
            out += '\n';
        }
    }
    for (const auto& subkey : key.subkeys)
        FormatKey(*subkey, path + "\\" + subkey->name, false, out);
}

}  // namespace

const char* HiveRootName(Hive hive) {
    switch (hive) {
        case Hive::LocalMachine:
            return "HKEY_LOCAL_MACHINE";
        case Hive::ClassesRoot:
            return "HKEY_CLASSES_ROOT";
        case Hive::CurrentUser:
            break;
    }
    return "HKEY_CURRENT_USER";
}

std::optional<RegistryKey> ParseHive(Hive hive, std::string_view text) {
    std::string converted;
    if (text.size() >= 2 && static_cast<unsigned char>(text[0]) == 0xFF &&
        static_cast<unsigned char>(text[1]) == 0xFE) {
        std::u16string units((text.size() - 2) / 2, u'\0');
        std::memcpy(units.data(), text.data() + 2, units.size() * 2);
        converted = Utf8FromWide(units);
        text = converted;
    } else if (text.substr(0, 3) == "\xEF\xBB\xBF") {
        text.remove_prefix(3);
    }

    RegistryKey root;
    ParsedSubkeys subkeys;
    RegistryKey* current = nullptr;
    bool sawHeader = false;
    std::string pending;  // a value line continued with a trailing backslash
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t end = text.find('\n', pos);
        std::string_view line =
            text.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos);
        pos = end == std::string_view::npos ? text.size() + 1 : end + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (!pending.empty()) {
            size_t start = line.find_first_not_of(" \t");
            line = start == std::string_view::npos ? std::string_view() : line.substr(start);
            pending += line;
            if (!pending.empty() && pending.back() == '\\') {
                pending.pop_back();
                continue;
            }
            if (current == nullptr || !ParseValueLine(pending, *current))
                return std::nullopt;
            pending.clear();
            continue;
        }
        if (line.empty() || line[0] == ';')
            continue;
        if (!sawHeader) {
            if (line != kHeader)
                return std::nullopt;
            sawHeader = true;
            continue;
        }
        if (line[0] == '[') {
            size_t close = line.rfind(']');
            if (close == std::string_view::npos || close == 1 ||
                line.find_first_not_of(" \t", close + 1) != std::string_view::npos)
                return std::nullopt;
            std::optional<std::vector<std::string>> path =
                SectionPath(hive, line.substr(1, close - 1));
            if (!path || path->size() > kMaxKeyDepth)
                return std::nullopt;
            current = &root;
            for (std::string& part : *path)
                current = subkeys.Child(current, std::move(part));
            continue;
        }
        if (line.back() == '\\' && (line.find("=hex") != std::string_view::npos)) {
            pending = std::string(line.substr(0, line.size() - 1));
            continue;
        }
        if (current == nullptr || !ParseValueLine(line, *current))
            return std::nullopt;
    }
    if (!pending.empty() || (!sawHeader && text.find_first_not_of(" \t\r\n") != text.npos))
        return std::nullopt;
    subkeys.Sort();
    return root;
}

std::string FormatHive(Hive hive, const RegistryKey& root) {
    std::string out(kHeader);
    out += '\n';
    FormatKey(root, HiveRootName(hive), true, out);
    return out;
}

}  // namespace winlayer
