#include "oss/crc64.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace oss {
namespace {

// Bit-at-a-time CRC-64/XZ state update, the definition the table-driven code must agree with.
uint64_t BitwiseStep(uint64_t state, unsigned char byte) {
    state ^= byte;
    for (int bit = 0; bit < 8; ++bit) {
        state = (state & 1) ? (state >> 1) ^ 0xC96C5795D7870F42ULL : state >> 1;
    }
    return state;
}

std::vector<unsigned char> RandomBytes(size_t length, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<unsigned char> bytes(length);
    for (auto& b : bytes) {
        b = static_cast<unsigned char>(rng());
    }
    return bytes;
}

TEST(Crc64, MatchesKnownCheckValues) {
    EXPECT_EQ(crc64Update(0, "123456789", 9), 0x995DC9BBDF1939FAULL);
    EXPECT_EQ(crc64Update(0, "abc", 3), 0x2CD8094A1A277627ULL);
    EXPECT_EQ(crc64Update(0, "", 0), 0u);
    EXPECT_EQ(crc64Update(0, nullptr, 0), 0u);
}

TEST(Crc64, ChainsOverPieces) {
    EXPECT_EQ(crc64Update(crc64Update(0, "a", 1), "bc", 2), crc64Update(0, "abc", 3));

    const auto data = RandomBytes(100000, 7);
    const uint64_t whole = crc64Update(0, data.data(), data.size());
    std::mt19937 rng(11);
    for (int trial = 0; trial < 50; ++trial) {
        uint64_t crc = 0;
        size_t offset = 0;
        while (offset < data.size()) {
            const size_t piece = std::min<size_t>(rng() % 3000, data.size() - offset);
            crc = crc64Update(crc, data.data() + offset, piece);
            offset += piece;
        }
        ASSERT_EQ(crc, whole) << "trial " << trial;
    }
}

TEST(Crc64, AgreesWithBitwiseReferenceForEveryLengthAndAlignment) {
    constexpr size_t kMaxLength = 4096;
    const auto data = RandomBytes(kMaxLength, 3);

    std::vector<uint64_t> reference(kMaxLength + 1);
    uint64_t state = ~0ULL;
    reference[0] = ~state;
    for (size_t i = 0; i < kMaxLength; ++i) {
        state = BitwiseStep(state, data[i]);
        reference[i + 1] = ~state;
    }

    // Over-aligned storage so that `base + shift` reaches every residue modulo 8.
    alignas(64) static unsigned char storage[kMaxLength + 64];
    for (size_t shift = 0; shift < 8; ++shift) {
        unsigned char* base = storage + shift;
        std::memcpy(base, data.data(), kMaxLength);
        for (size_t length = 0; length <= kMaxLength; ++length) {
            ASSERT_EQ(crc64Update(0, base, length), reference[length])
                << "length " << length << " shift " << shift;
        }
    }
}

}  // namespace
}  // namespace oss
