// The release manifest: every object of a release that an installer downloads, with its object
// key, size and SHA-256. It is published inside "summary.sig" (release/signed_manifest.h), and
// read only after its signature has been verified.
//
// Its text, one LF-terminated line each, nothing else:
//   brivostel-release-manifest 1
//   object <key> <size> <sha256>
//   ...
// <key> is the full object key (no blanks or control characters), <size> a decimal byte count,
// <sha256> 64 lower-case hex digits. Keys are unique.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

inline constexpr char kReleaseManifestHeader[] = "brivostel-release-manifest 1";

struct ManifestEntry {
    std::string key;
    std::uint64_t size = 0;
    std::string sha256;  // the raw 32 bytes
};

class ReleaseManifest {
  public:
    // Reads `text` as above. False, with `failure` saying which line is wrong and how, for any
    // other text; the manifest is then empty.
    bool Parse(const std::string& text, std::string* failure);

    // The entry of `key`, null when the manifest does not name it.
    const ManifestEntry* Find(const std::string& key) const;
    const std::vector<ManifestEntry>& Entries() const { return entries_; }

  private:
    std::vector<ManifestEntry> entries_;
};

// Lower-case hex of raw bytes, and back: empty when `hex` has an odd length or another character
// than 0-9 and a-f.
std::string HexOf(const std::string& bytes);
std::string BytesOfHex(const std::string& hex);

// Empty when an object of `size` bytes with SHA-256 `sha256` (raw) is the one `entry` names;
// otherwise why not, naming both sizes and digests.
std::string CompareWithEntry(const ManifestEntry& entry, std::uint64_t size,
                             const std::string& sha256);
