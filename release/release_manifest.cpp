#include "release/release_manifest.h"

#include <algorithm>
#include <charconv>

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

bool IsKeyCharacter(char c) {
    return static_cast<unsigned char>(c) > ' ' && c != '\x7f';
}

// A decimal count without sign, blanks or leading zeros, that fits in 63 bits.
bool ParseSize(const std::string& text, std::uint64_t* size) {
    if (text.empty() || (text.size() > 1 && text[0] == '0'))
        return false;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, *size);
    return error == std::errc() && stop == end && *size <= INT64_MAX;
}

// `line` split at single blanks.
std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields(1);
    for (const char c : line) {
        if (c == ' ')
            fields.emplace_back();
        else
            fields.back() += c;
    }
    return fields;
}

}  // namespace

std::string HexOf(const std::string& bytes) {
    std::string hex;
    hex.reserve(bytes.size() * 2);
    for (const char c : bytes) {
        hex += kHexDigits[static_cast<unsigned char>(c) >> 4];
        hex += kHexDigits[static_cast<unsigned char>(c) & 15];
    }
    return hex;
}

std::string BytesOfHex(const std::string& hex) {
    if (hex.size() % 2 != 0)
        return std::string();
    std::string bytes;
    bytes.reserve(hex.size() / 2);
    for (size_t at = 0; at < hex.size(); at += 2) {
        const char* high = std::char_traits<char>::find(kHexDigits, 16, hex[at]);
        const char* low = std::char_traits<char>::find(kHexDigits, 16, hex[at + 1]);
        if (high == nullptr || low == nullptr)
            return std::string();
        bytes += static_cast<char>((high - kHexDigits) << 4 | (low - kHexDigits));
    }
    return bytes;
}

bool ReleaseManifest::Parse(const std::string& text, std::string* failure) {
    entries_.clear();
    std::vector<ManifestEntry> entries;
    size_t lineNumber = 0;
    size_t at = 0;
    auto fail = [&](const std::string& why) {
        *failure = "line " + std::to_string(lineNumber) + " " + why;
        return false;
    };
    while (at < text.size()) {
        const size_t end = text.find('\n', at);
        ++lineNumber;
        if (end == std::string::npos)
            return fail("does not end with a line feed");
        const std::string line = text.substr(at, end - at);
        at = end + 1;
        if (lineNumber == 1) {
            if (line != kReleaseManifestHeader)
                return fail(std::string("is not \"") + kReleaseManifestHeader + "\"");
            continue;
        }
        const std::vector<std::string> fields = Fields(line);
        ManifestEntry entry;
        if (fields.size() != 4 || fields[0] != "object")
            return fail("is not \"object KEY SIZE SHA-256\"");
        entry.key = fields[1];
        if (entry.key.empty() || !std::all_of(entry.key.begin(), entry.key.end(), IsKeyCharacter))
            return fail("names no valid object key");
        if (!ParseSize(fields[2], &entry.size))
            return fail("has no valid size");
        entry.sha256 = BytesOfHex(fields[3]);
        if (fields[3].size() != 64 || entry.sha256.size() != 32)
            return fail("has no valid SHA-256 (64 lower-case hex digits)");
        const bool seen = std::any_of(entries.begin(), entries.end(),
                                      [&](const ManifestEntry& e) { return e.key == entry.key; });
        if (seen)
            return fail("names " + entry.key + " a second time");
        entries.push_back(std::move(entry));
    }
    if (lineNumber == 0) {
        *failure = "the manifest is empty";
        return false;
    }
    entries_ = std::move(entries);
    return true;
}

const ManifestEntry* ReleaseManifest::Find(const std::string& key) const {
    for (const ManifestEntry& entry : entries_) {
        if (entry.key == key)
            return &entry;
    }
    return nullptr;
}

std::string CompareWithEntry(const ManifestEntry& entry, std::uint64_t size,
                             const std::string& sha256) {
    if (size == entry.size && sha256 == entry.sha256)
        return std::string();
    return "received " + std::to_string(size) + " bytes with SHA-256 " + HexOf(sha256) +
           ", the signed release manifest names " + std::to_string(entry.size) +
           " bytes with SHA-256 " + HexOf(entry.sha256);
}
