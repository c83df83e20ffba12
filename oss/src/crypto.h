// Digests and encodings from OpenSSL, kept out of the public headers.
#pragma once

#include <cstddef>
#include <string>

namespace oss {

// Standard Base64 with "=" padding.
std::string Base64Encode(const unsigned char* data, size_t length);

}  // namespace oss
