// summary.sig: a signature is verified before its manifest is read, and any change of the text,
// the signature or the key is refused. The signatures were made with the openssl command line
// tool over the manifest text (openssl dgst -sha256 -sign a.pem), their DER integers written
// out as r || s.
#include "release/signed_manifest.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string kKeyA =
    "0433d73ef5e4564d21925fccc92c9abbbf387ce468a0b19d46ee8a56879f62db13227326f5084787d0314cfcd9"
    "1fab8121f43cecedee703333a7254fa14a673dab";
const std::string kKeyB =
    "0412840f1de895e5f9af151679fabbdd9d01b036735ce17bb88d102a486acd94ea4bf3ce6f3edb87189609a465"
    "2ce2bc44bc819f3e6e4c12a7d78767b10259708b";
const std::string kManifest =
    "brivostel-release-manifest 1\n"
    "object 9.5BRivostelIE/summary.ini 112 "
    "9c781c259a4288ec4eb6807e66ddac7c4ada5ed3ff0647213b877f5c3f98da2b\n"
    "object 9.5BRivostelIE/base.zip 0 "
    "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855\n";
const std::string kSignature =
    "e88bf7f695ae5edac274657dacc34730839f2e39a0cfe35973aebd17b91ea0002e892816cb5a211dd1fc1cc310"
    "06be9bb126e56f59bcfe555d57387faf460cc3";
// A well-signed text that is no manifest (its digest is one letter).
const std::string kBadManifest = "brivostel-release-manifest 1\nobject a.zip 1 z\n";
const std::string kBadManifestSignature =
    "64aa4e8a01c882bee08ddcd170a337174bf3f7523f75f897aa9269cad74431f966e7a018a80c4fc63eee1c040d"
    "f5fe115e380a7b3f9f497948786e2ad116bfb6";

std::string SignedFile(const std::string& text, const std::string& signature) {
    return text + "signature " + signature + "\n";
}

// The failure text of a refused file, "" when it was accepted.
std::string Refusal(const std::string& file, const std::string& keyHex = kKeyA) {
    ReleaseManifest manifest;
    std::string failure;
    if (VerifySignedManifest(file, ReleaseKeyOfHex(keyHex), &manifest, &failure))
        return "";
    EXPECT_TRUE(manifest.Entries().empty());
    return failure.empty() ? "(no reason)" : failure;
}

TEST(SignedManifest, AcceptsTheManifestItsKeySigned) {
    ReleaseManifest manifest;
    std::string failure;
    ASSERT_TRUE(VerifySignedManifest(SignedFile(kManifest, kSignature), ReleaseKeyOfHex(kKeyA),
                                     &manifest, &failure))
        << failure;
    ASSERT_NE(manifest.Find("9.5BRivostelIE/summary.ini"), nullptr);
    EXPECT_EQ(manifest.Find("9.5BRivostelIE/summary.ini")->size, 112u);
    EXPECT_NE(manifest.Find("9.5BRivostelIE/base.zip"), nullptr);
}

TEST(SignedManifest, RefusesAManifestEditedAfterSigning) {
    std::string edited = kManifest;
    edited.replace(edited.find(" 112 "), 5, " 113 ");
    EXPECT_EQ(Refusal(SignedFile(edited, kSignature)),
              "its signature is not one of this build's release key");
    // An object added, and one taken away.
    EXPECT_NE(Refusal(SignedFile(kManifest + "object x.zip 0 " + std::string(64, '0') + "\n",
                                 kSignature)),
              "");
    EXPECT_NE(Refusal(SignedFile(kManifest.substr(0, kManifest.rfind("object")), kSignature)), "");
}

TEST(SignedManifest, RefusesTheSignatureOfAnotherKey) {
    EXPECT_EQ(Refusal(SignedFile(kManifest, kSignature), kKeyB),
              "its signature is not one of this build's release key");
}

TEST(SignedManifest, RefusesAFileWithoutItsSignatureLine) {
    const std::string noLine = "its last line is not \"signature R||S\"";
    EXPECT_EQ(Refusal(""), noLine);
    EXPECT_EQ(Refusal(kManifest), noLine);
    // Not the last line, not ended by a line feed, or followed by more text.
    EXPECT_EQ(Refusal(SignedFile(kManifest, kSignature) + "object a 0 0\n"), noLine);
    EXPECT_EQ(Refusal(kManifest + "signature " + kSignature), noLine);
    EXPECT_EQ(Refusal(SignedFile(kManifest, kSignature) + "\n"), noLine);
    const std::string badDigits = "its signature is not 128 lower-case hex digits";
    EXPECT_EQ(Refusal(SignedFile(kManifest, kSignature.substr(2))), badDigits);
    EXPECT_EQ(Refusal(SignedFile(kManifest, "E8" + kSignature.substr(2))), badDigits);
    EXPECT_EQ(Refusal(SignedFile(kManifest, kSignature + "00")), badDigits);
}

TEST(SignedManifest, ReadsTheManifestOnlyOnceItsSignatureHolds) {
    // Well signed but malformed: refused for its text.
    EXPECT_EQ(Refusal(SignedFile(kBadManifest, kBadManifestSignature))
                  .find("its manifest is malformed: line 2 has no valid SHA-256"),
              0u);
    // Malformed and signed by another key: refused for its signature, never parsed.
    EXPECT_EQ(Refusal(SignedFile(kBadManifest, kBadManifestSignature), kKeyB),
              "its signature is not one of this build's release key");
    // Too large a file is refused before anything else.
    EXPECT_EQ(Refusal(std::string(kMaxSignedManifestBytes + 1, 'x')), "larger than 1048576 bytes");
}

TEST(SignedManifest, TakesTheReleaseKeyAsTheUncompressedPointInHex) {
    EXPECT_EQ(ReleaseKeyOfHex(kKeyA).size(), 65u);
    EXPECT_EQ(ReleaseKeyOfHex(""), "");
    EXPECT_EQ(ReleaseKeyOfHex(kKeyA.substr(0, 128)), "");
    EXPECT_EQ(ReleaseKeyOfHex("02" + kKeyA.substr(2)), "");
    // Without a key nothing verifies.
    ReleaseManifest manifest;
    std::string failure;
    EXPECT_FALSE(VerifySignedManifest(SignedFile(kManifest, kSignature), "", &manifest, &failure));
}

}  // namespace
