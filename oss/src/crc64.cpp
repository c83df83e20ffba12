#include "oss/crc64.h"

#include <array>
#include <bit>
#include <cstring>

#include "crc64_clmul.h"

namespace oss {

namespace {

constexpr size_t kClmulMinimum = 256;

using Tables = std::array<std::array<uint64_t, 256>, 8>;

// tables[0] is the classic byte table; tables[k][b] is the CRC of byte b followed by k zero bytes,
// which lets eight input bytes be folded in with eight independent lookups.
constexpr Tables MakeTables() {
    Tables tables{};
    for (uint64_t b = 0; b < 256; ++b) {
        uint64_t crc = b;
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1) ? (crc >> 1) ^ kCrc64Polynomial : crc >> 1;
        }
        tables[0][b] = crc;
    }
    for (size_t b = 0; b < 256; ++b) {
        for (size_t k = 1; k < 8; ++k) {
            const uint64_t prev = tables[k - 1][b];
            tables[k][b] = tables[0][prev & 0xFF] ^ (prev >> 8);
        }
    }
    return tables;
}

constexpr Tables kTables = MakeTables();

inline uint64_t LoadLittleEndian64(const unsigned char* p) {
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
    if constexpr (std::endian::native == std::endian::big) {
        v = __builtin_bswap64(v);
    }
    return v;
}

}  // namespace

uint64_t crc64Update(uint64_t previous, const void* data, size_t length) {
    const auto* p = static_cast<const unsigned char*>(data);
    uint64_t crc = ~previous;

    // Long buffers fold 16 bytes at a time where the processor multiplies without carries.
    if (length >= kClmulMinimum && Crc64ClmulAvailable()) {
        const size_t folded = length & ~size_t{15};
        crc = Crc64ClmulFold(crc, p, folded);
        p += folded;
        length -= folded;
    }

    while (length > 0 && (reinterpret_cast<uintptr_t>(p) & 7) != 0) {
        crc = kTables[0][(crc ^ *p++) & 0xFF] ^ (crc >> 8);
        --length;
    }
    while (length >= 8) {
        crc ^= LoadLittleEndian64(p);
        crc = kTables[7][crc & 0xFF] ^ kTables[6][(crc >> 8) & 0xFF] ^
              kTables[5][(crc >> 16) & 0xFF] ^ kTables[4][(crc >> 24) & 0xFF] ^
              kTables[3][(crc >> 32) & 0xFF] ^ kTables[2][(crc >> 40) & 0xFF] ^
              kTables[1][(crc >> 48) & 0xFF] ^ kTables[0][crc >> 56];
        p += 8;
        length -= 8;
    }
    while (length-- > 0) {
        crc = kTables[0][(crc ^ *p++) & 0xFF] ^ (crc >> 8);
    }
    return ~crc;
}

}  // namespace oss
