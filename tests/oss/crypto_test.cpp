// The crypto seam against the published test vectors, so that either backend (OpenSSL here,
// CNG in the Windows build) proves the same results.
#include "crypto.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace oss {
namespace {

std::string Hex(const std::string& bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    for (const char c : bytes) {
        text += kDigits[static_cast<unsigned char>(c) >> 4];
        text += kDigits[static_cast<unsigned char>(c) & 15];
    }
    return text;
}

std::string Base64Of(const std::string& bytes) {
    return Base64Encode(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

std::string Md5Hex(const std::string& text, size_t pieceSize) {
    Digest digest(DigestAlgorithm::Md5);
    for (size_t at = 0; at < text.size(); at += pieceSize) {
        digest.update(text.data() + at, std::min(pieceSize, text.size() - at));
    }
    return Hex(digest.finish());
}

TEST(Crypto, Base64MatchesRfc4648OnOneLine) {
    EXPECT_EQ(Base64Of(""), "");
    EXPECT_EQ(Base64Of("f"), "Zg==");
    EXPECT_EQ(Base64Of("fo"), "Zm8=");
    EXPECT_EQ(Base64Of("foo"), "Zm9v");
    EXPECT_EQ(Base64Of("foob"), "Zm9vYg==");
    EXPECT_EQ(Base64Of("fooba"), "Zm9vYmE=");
    EXPECT_EQ(Base64Of("foobar"), "Zm9vYmFy");
    EXPECT_EQ(Base64Of(std::string("\0\xff\xfe", 3)), "AP/+");
    // Long input stays on one line (no CR LF every 64 characters).
    const std::string encoded = Base64Of(std::string(120, 'a'));
    EXPECT_EQ(encoded.size(), 160u);
    EXPECT_EQ(encoded.find_first_of("\r\n"), std::string::npos);
}

TEST(Crypto, HmacSha1MatchesRfc2202) {
    EXPECT_EQ(Hex(HmacSha1(std::string(20, '\x0b'), "Hi There")),
              "b617318655057264e28bc0b6fb378c8ef146be00");
    EXPECT_EQ(Hex(HmacSha1("Jefe", "what do ya want for nothing?")),
              "effcdf6ae5eb2fa2d27416d5f184df9c259a7c79");
    // A key longer than the hash's block is hashed first.
    EXPECT_EQ(Hex(HmacSha1(std::string(80, '\xaa'),
                           "Test Using Larger Than Block-Size Key - Hash Key First")),
              "aa4ae5e15272d00e95705637ce8a3b55ed402112");
    // An empty key and an empty text are values like any other.
    EXPECT_EQ(Hex(HmacSha1("", "")), "fbdb1d1b18aa6c08324b7d64b71fb76370690e1d");
}

TEST(Crypto, Md5MatchesRfc1321WhateverThePieces) {
    const std::string digits =
        "12345678901234567890123456789012345678901234567890123456789012345678901234567890";
    for (const size_t piece : {1u, 7u, 64u, 1000u}) {
        EXPECT_EQ(Md5Hex("", piece), "d41d8cd98f00b204e9800998ecf8427e");
        EXPECT_EQ(Md5Hex("abc", piece), "900150983cd24fb0d6963f7d28e17f72");
        EXPECT_EQ(Md5Hex("message digest", piece), "f96b697d7cb7938d525a2f31aaf161d0");
        EXPECT_EQ(Md5Hex(digits, piece), "57edf4a22be3c955ac49da2e2107b67a") << piece;
    }
}

TEST(Crypto, DigestFinishesOnce) {
    Digest digest(DigestAlgorithm::Md5);
    digest.update("abc", 3);
    EXPECT_EQ(digest.finish().size(), 16u);
    EXPECT_EQ(digest.finish(), "");
}

}  // namespace
}  // namespace oss
