// The carry-less-multiplication CRC-64 against a plain bitwise reference.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "crc64_clmul.h"
#include "oss/crc64.h"

using namespace oss;

namespace {

uint64_t BitwiseRaw(uint64_t state, const unsigned char* p, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        state ^= p[i];
        for (int bit = 0; bit < 8; ++bit) {
            state = (state & 1) ? (state >> 1) ^ 0xC96C5795D7870F42ULL : state >> 1;
        }
    }
    return state;
}

std::string Random(size_t n, uint32_t seed) {
    std::mt19937 random(seed);
    std::string data(n, '\0');
    for (char& c : data) {
        c = static_cast<char>(random());
    }
    return data;
}

}  // namespace

TEST(Crc64Clmul, FoldsEveryBlockCountFromAnyState) {
    if (!Crc64ClmulAvailable()) {
        GTEST_SKIP() << "no carry-less multiplication on this processor";
    }
    const std::string data = Random(2048 + 1, 3);
    std::mt19937_64 states(5);
    for (size_t length = 16; length <= 2048; length += 16) {
        const uint64_t state = states();
        // Odd offset: the folding must not depend on alignment.
        const auto* p = reinterpret_cast<const unsigned char*>(data.data() + 1);
        ASSERT_EQ(Crc64ClmulFold(state, p, length), BitwiseRaw(state, p, length)) << length;
    }
}

TEST(Crc64Clmul, LongBuffersInRandomPiecesMatchTheReference) {
    const std::string data = Random(3 * 1024 * 1024 + 13, 9);
    const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
    const uint64_t expected = ~BitwiseRaw(~uint64_t{0}, bytes, data.size());
    EXPECT_EQ(crc64Update(0, bytes, data.size()), expected);
    std::mt19937 random(11);
    uint64_t crc = 0;
    for (size_t at = 0; at < data.size();) {
        const size_t piece = std::min<size_t>(random() % 200000, data.size() - at);
        crc = crc64Update(crc, bytes + at, piece);
        at += piece;
    }
    EXPECT_EQ(crc, expected);
}
