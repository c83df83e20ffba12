#include "crc64_clmul.h"

#include <array>
#include <cstring>

#include "oss/crc64.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace oss {

#if defined(__x86_64__)

namespace {

// The raw CRC state after `length` bytes, starting from state 0, by the byte tables.
uint64_t RawCrc(const unsigned char* data, size_t length) {
    return ~crc64Update(~uint64_t{0}, data, length);
}

// The 64-bit K for which a 16-byte block holding K in its first eight bytes has the same raw CRC
// as `block` followed by `distance` zero bytes; folding a block across `distance` bytes is then
// a carry-less product with K. Found by solving the linear map K -> RawCrc(K, 0^8) over GF(2),
// so that no constant has to be trusted from elsewhere. False when the map cannot be inverted.
bool FoldConstant(const std::array<unsigned char, 16>& block, size_t distance, uint64_t* k) {
    unsigned char message[16 + 64] = {};
    std::memcpy(message, block.data(), block.size());
    uint64_t target = RawCrc(message, 16 + distance);

    // Basis of the images of the unit vectors, each with the combination that produced it.
    std::array<uint64_t, 64> basis{};
    std::array<uint64_t, 64> combination{};
    for (int j = 0; j < 64; ++j) {
        unsigned char unit[16] = {};
        const uint64_t value = uint64_t{1} << j;
        std::memcpy(unit, &value, sizeof value);  // little-endian x86-64
        uint64_t image = RawCrc(unit, 16);
        uint64_t mask = value;
        for (int bit = 63; bit >= 0 && image != 0; --bit) {
            if (((image >> bit) & 1) == 0) {
                continue;
            }
            if (basis[bit] == 0) {
                basis[bit] = image;
                combination[bit] = mask;
                image = 0;
                break;
            }
            image ^= basis[bit];
            mask ^= combination[bit];
        }
    }
    uint64_t solution = 0;
    for (int bit = 63; bit >= 0; --bit) {
        if (((target >> bit) & 1) == 0) {
            continue;
        }
        if (basis[bit] == 0) {
            return false;
        }
        target ^= basis[bit];
        solution ^= combination[bit];
    }
    *k = solution;
    return true;
}

struct FoldConstants {
    bool valid = false;
    uint64_t by16Low = 0, by16High = 0;  // fold one 16-byte block onto the next
    uint64_t by64Low = 0, by64High = 0;  // fold a lane across four blocks
};

FoldConstants MakeFoldConstants() {
    FoldConstants c;
    std::array<unsigned char, 16> low{}, high{};
    low[0] = 1;   // lowest bit of the first eight bytes
    high[8] = 1;  // lowest bit of the second eight bytes
    c.valid = FoldConstant(low, 16, &c.by16Low) && FoldConstant(high, 16, &c.by16High) &&
              FoldConstant(low, 64, &c.by64Low) && FoldConstant(high, 64, &c.by64High);
    return c;
}

const FoldConstants& Constants() {
    static const FoldConstants constants = MakeFoldConstants();
    return constants;
}

}  // namespace

bool Crc64ClmulAvailable() {
    static const bool available =
        __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1") && Constants().valid;
    return available;
}

namespace {

__attribute__((target("pclmul,sse4.1"))) inline __m128i Fold(__m128i x, __m128i k) {
    return _mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11));
}

__attribute__((target("pclmul,sse4.1"))) inline __m128i Load(const unsigned char* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

}  // namespace

__attribute__((target("pclmul,sse4.1"))) uint64_t Crc64ClmulFold(uint64_t state,
                                                                 const unsigned char* p,
                                                                 size_t length) {
    const FoldConstants& c = Constants();
    const __m128i by16 =
        _mm_set_epi64x(static_cast<long long>(c.by16High), static_cast<long long>(c.by16Low));
    // The running state enters as the first eight bytes of the message.
    const __m128i initial = _mm_cvtsi64_si128(static_cast<long long>(state));
    __m128i x;
    if (length >= 128) {
        const __m128i by64 =
            _mm_set_epi64x(static_cast<long long>(c.by64High), static_cast<long long>(c.by64Low));
        __m128i x0 = _mm_xor_si128(Load(p), initial);
        __m128i x1 = Load(p + 16);
        __m128i x2 = Load(p + 32);
        __m128i x3 = Load(p + 48);
        p += 64;
        length -= 64;
        while (length >= 64) {
            x0 = _mm_xor_si128(Fold(x0, by64), Load(p));
            x1 = _mm_xor_si128(Fold(x1, by64), Load(p + 16));
            x2 = _mm_xor_si128(Fold(x2, by64), Load(p + 32));
            x3 = _mm_xor_si128(Fold(x3, by64), Load(p + 48));
            p += 64;
            length -= 64;
        }
        x = _mm_xor_si128(Fold(x0, by16), x1);
        x = _mm_xor_si128(Fold(x, by16), x2);
        x = _mm_xor_si128(Fold(x, by16), x3);
    } else {
        x = _mm_xor_si128(Load(p), initial);
        p += 16;
        length -= 16;
    }
    while (length >= 16) {
        x = _mm_xor_si128(Fold(x, by16), Load(p));
        p += 16;
        length -= 16;
    }
    unsigned char last[16];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(last), x);
    return RawCrc(last, sizeof last);
}

#else

bool Crc64ClmulAvailable() {
    return false;
}

uint64_t Crc64ClmulFold(uint64_t state, const unsigned char*, size_t) {
    return state;
}

#endif

}  // namespace oss
