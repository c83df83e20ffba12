// The crypto seam against the published test vectors, so that either backend (OpenSSL here,
// CNG in the Windows build) proves the same results.
#include "oss/crypto.h"

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

std::string Bytes(const std::string& hex) {
    std::string bytes;
    for (size_t at = 0; at + 1 < hex.size(); at += 2) {
        bytes += static_cast<char>(std::stoi(hex.substr(at, 2), nullptr, 16));
    }
    return bytes;
}

std::string Base64Of(const std::string& bytes) {
    return Base64Encode(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

std::string DigestHex(DigestAlgorithm algorithm, const std::string& text, size_t pieceSize) {
    Digest digest(algorithm);
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
        EXPECT_EQ(DigestHex(DigestAlgorithm::Md5, "", piece), "d41d8cd98f00b204e9800998ecf8427e");
        EXPECT_EQ(DigestHex(DigestAlgorithm::Md5, "abc", piece),
                  "900150983cd24fb0d6963f7d28e17f72");
        EXPECT_EQ(DigestHex(DigestAlgorithm::Md5, "message digest", piece),
                  "f96b697d7cb7938d525a2f31aaf161d0");
        EXPECT_EQ(DigestHex(DigestAlgorithm::Md5, digits, piece),
                  "57edf4a22be3c955ac49da2e2107b67a")
            << piece;
    }
}

TEST(Crypto, Sha256MatchesFips180WhateverThePieces) {
    const std::string twoBlocks = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
    for (const size_t piece : {1u, 13u, 64u, 1000u}) {
        EXPECT_EQ(DigestHex(DigestAlgorithm::Sha256, "", piece),
                  "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
        EXPECT_EQ(DigestHex(DigestAlgorithm::Sha256, "abc", piece),
                  "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
        EXPECT_EQ(DigestHex(DigestAlgorithm::Sha256, twoBlocks, piece),
                  "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1")
            << piece;
    }
    EXPECT_EQ(DigestHex(DigestAlgorithm::Sha256, std::string(1000000, 'a'), 4096),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

// A key pair and a signature made with the openssl command line tool:
//   openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out a.pem
//   openssl dgst -sha256 -sign a.pem -out sig.der msg
// with the point taken from the last 65 bytes of "openssl pkey -pubout -outform DER" and the DER
// signature's two integers written out as 32 bytes each.
const std::string kMessage = "release manifest 1\n";
const std::string kKeyA = Bytes(
    "0433d73ef5e4564d21925fccc92c9abbbf387ce468a0b19d46ee8a56879f62db13227326f5084787d0314cfcd91fab"
    "8121f43cecedee703333a7254fa14a673dab");
const std::string kKeyB = Bytes(
    "0412840f1de895e5f9af151679fabbdd9d01b036735ce17bb88d102a486acd94ea4bf3ce6f3edb87189609a4652ce2"
    "bc44bc819f3e6e4c12a7d78767b10259708b");
const std::string kSignatureA = Bytes(
    "aae7d95f2c1ed45a1ebb9e5086f7f8ca5645047e2a1b28d1a9bb3556249747d1fe3642618a67f159a271cdbb8f9d07"
    "4433e9a812580360d439953768b57ba090");

TEST(Crypto, EcdsaP256AcceptsTheSignatureOfOpensslsTool) {
    EXPECT_TRUE(VerifyEcdsaP256Sha256(kKeyA, kMessage, kSignatureA));
}

TEST(Crypto, EcdsaP256RefusesAnyChangeOfMessageSignatureOrKey) {
    EXPECT_FALSE(VerifyEcdsaP256Sha256(kKeyB, kMessage, kSignatureA));
    EXPECT_FALSE(VerifyEcdsaP256Sha256(kKeyA, "release manifest 2\n", kSignatureA));
    EXPECT_FALSE(VerifyEcdsaP256Sha256(kKeyA, kMessage + " ", kSignatureA));
    EXPECT_FALSE(VerifyEcdsaP256Sha256(kKeyA, "", kSignatureA));
    for (const size_t at : {0u, 31u, 32u, 63u}) {
        std::string flipped = kSignatureA;
        flipped[at] = static_cast<char>(flipped[at] ^ 1);
        EXPECT_FALSE(VerifyEcdsaP256Sha256(kKeyA, kMessage, flipped)) << at;
    }
    // r and s swapped, and the halves zero.
    EXPECT_FALSE(
        VerifyEcdsaP256Sha256(kKeyA, kMessage, kSignatureA.substr(32) + kSignatureA.substr(0, 32)));
    EXPECT_FALSE(VerifyEcdsaP256Sha256(kKeyA, kMessage, std::string(64, '\0')));
}

TEST(Crypto, EcdsaP256RefusesMalformedKeysAndSignatures) {
    // A point off the curve (Y changed), a compressed-point prefix, and the wrong lengths.
    std::string offCurve = kKeyA;
    offCurve[64] = static_cast<char>(offCurve[64] ^ 1);
    EXPECT_FALSE(VerifyEcdsaP256Sha256(offCurve, kMessage, kSignatureA));
    std::string compressed = kKeyA;
    compressed[0] = '\x02';
    EXPECT_FALSE(VerifyEcdsaP256Sha256(compressed, kMessage, kSignatureA));
    EXPECT_FALSE(VerifyEcdsaP256Sha256(kKeyA.substr(0, 64), kMessage, kSignatureA));
    EXPECT_FALSE(VerifyEcdsaP256Sha256("", kMessage, kSignatureA));
    EXPECT_FALSE(VerifyEcdsaP256Sha256(kKeyA, kMessage, kSignatureA.substr(0, 63)));
    EXPECT_FALSE(VerifyEcdsaP256Sha256(kKeyA, kMessage, kSignatureA + '\0'));
}

TEST(Crypto, DigestFinishesOnce) {
    Digest digest(DigestAlgorithm::Md5);
    digest.update("abc", 3);
    EXPECT_EQ(digest.finish().size(), 16u);
    EXPECT_EQ(digest.finish(), "");
}

}  // namespace
}  // namespace oss
