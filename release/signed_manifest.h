// "summary.sig": the release manifest (release/release_manifest.h) and its signature in one
// file, so that the two can never be published or fetched out of step. The file is the
// manifest's text followed by one last line:
//   signature <r || s as 128 lower-case hex digits>
// an ECDSA P-256 signature with SHA-256 over every byte before that line.
#pragma once

#include <cstddef>
#include <string>

#include "release/release_manifest.h"

// A larger file is refused before it is read: a release names a handful of objects.
inline constexpr size_t kMaxSignedManifestBytes = 1 << 20;

// The release key given in hex (the uncompressed point: "04" then 128 digits) as the 65 bytes
// the signature check takes; empty for empty or any other text.
std::string ReleaseKeyOfHex(const std::string& hex);

// Verifies the signature of `fileText` with `publicKey` (65 bytes, as above) and only then
// reads the manifest it signs into `manifest`. False, with `failure` saying why, when the file
// is too large, has no signature line, its signature is not one of `publicKey`, or the text it
// signs is not a manifest.
bool VerifySignedManifest(const std::string& fileText, const std::string& publicKey,
                          ReleaseManifest* manifest, std::string* failure);
