#include "crc64_clmul.h"

#include <array>
#include <optional>

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

// A 16-byte block followed by up to 64 zero bytes.
using Message = std::array<unsigned char, 16 + 64>;

// RawCrc bit by bit from the polynomial, for the compiler to run.
constexpr uint64_t BitwiseRawCrc(const Message& message, size_t length) {
    uint64_t state = 0;
    for (size_t i = 0; i < length; ++i) {
        state ^= message[i];
        for (int bit = 0; bit < 8; ++bit) {
            state = (state & 1) ? (state >> 1) ^ kCrc64Polynomial : state >> 1;
        }
    }
    return state;
}

// The 64-bit K for which a 16-byte block holding K in its first eight bytes has the same raw CRC
// as the block with a one at bit `bit` (0-127) followed by `distance` zero bytes; folding a
// block across `distance` bytes is then a carry-less product with K. The compiler finds K by
// solving the linear map K -> RawCrc(K, 0^8) over GF(2) (Gaussian elimination on the images of
// the 64 unit vectors), so that no constant has to be trusted from elsewhere. Nothing when the
// map cannot be inverted.
constexpr std::optional<uint64_t> FoldConstant(int bit, size_t distance) {
    Message message{};
    message[bit / 8] = static_cast<unsigned char>(1u << (bit % 8));
    uint64_t target = BitwiseRawCrc(message, 16 + distance);

    // Basis of the images of the unit vectors, each with the combination that produced it.
    std::array<uint64_t, 64> basis{};
    std::array<uint64_t, 64> combination{};
    for (int j = 0; j < 64; ++j) {
        Message unit{};
        unit[j / 8] = static_cast<unsigned char>(1u << (j % 8));  // K's bytes, little-endian
        uint64_t image = BitwiseRawCrc(unit, 16);
        uint64_t mask = uint64_t{1} << j;
        for (int b = 63; b >= 0 && image != 0; --b) {
            if (((image >> b) & 1) == 0) {
                continue;
            }
            if (basis[b] == 0) {
                basis[b] = image;
                combination[b] = mask;
                break;
            }
            image ^= basis[b];
            mask ^= combination[b];
        }
    }
    uint64_t solution = 0;
    for (int b = 63; b >= 0; --b) {
        if (((target >> b) & 1) == 0) {
            continue;
        }
        if (basis[b] == 0) {
            return std::nullopt;
        }
        target ^= basis[b];
        solution ^= combination[b];
    }
    return solution;
}

struct FoldConstants {
    bool valid = false;
    uint64_t by16Low = 0, by16High = 0;  // fold one 16-byte block onto the next
    uint64_t by64Low = 0, by64High = 0;  // fold a lane across four blocks
};

// The low half of a block is its first eight bytes, whose lowest bit is bit 0; the high half
// starts at bit 64.
constexpr FoldConstants MakeFoldConstants() {
    const auto by16Low = FoldConstant(0, 16), by16High = FoldConstant(64, 16);
    const auto by64Low = FoldConstant(0, 64), by64High = FoldConstant(64, 64);
    if (!by16Low || !by16High || !by64Low || !by64High) {
        return FoldConstants{};
    }
    return FoldConstants{true, *by16Low, *by16High, *by64Low, *by64High};
}

constexpr FoldConstants kFold = MakeFoldConstants();
static_assert(kFold.valid, "the CRC-64 polynomial gives no fold constants");

}  // namespace

bool Crc64ClmulAvailable() {
    static const bool available =
        __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
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
    const FoldConstants& c = kFold;
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
