// CRC-64/XZ (ECMA-182 polynomial, reflected, initial value and final XOR all ones).
#pragma once

#include <cstddef>
#include <cstdint>

namespace oss {

inline constexpr uint64_t kCrc64Polynomial = 0xC96C5795D7870F42ULL;  // ECMA-182, reflected

// Continues `previous` over `length` bytes. Starting from 0 and feeding consecutive pieces gives
// the CRC of their concatenation.
uint64_t crc64Update(uint64_t previous, const void* data, size_t length);

}  // namespace oss
