// CRC-64 of long buffers by folding 16-byte blocks with carry-less multiplication.
#pragma once

#include <cstddef>
#include <cstdint>

namespace oss {

// True when this processor can fold (x86-64 with PCLMULQDQ and SSE4.1).
bool Crc64ClmulAvailable();

// Continues the raw (not inverted) CRC state over `length` bytes, a multiple of 16 and at least
// 16. Only to be called when Crc64ClmulAvailable().
uint64_t Crc64ClmulFold(uint64_t state, const unsigned char* data, size_t length);

}  // namespace oss
