// The release manifest's text: what it accepts, what it refuses and why, and the comparison of
// an object that arrived with its entry.
#include "release/release_manifest.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string kEmptySha = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";
const std::string kAbcSha = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";

std::string Manifest(const std::string& lines) {
    return std::string(kReleaseManifestHeader) + "\n" + lines;
}

TEST(ReleaseManifest, ReadsEveryObjectWithSizeAndDigest) {
    ReleaseManifest manifest;
    std::string failure;
    ASSERT_TRUE(
        manifest.Parse(Manifest("object 9.5BRivostelIE/summary.ini 3 " + kAbcSha +
                                "\nobject 9.5BRivostelIE/fix/9.5.7.2.zip 0 " + kEmptySha + "\n"),
                       &failure))
        << failure;
    ASSERT_EQ(manifest.Entries().size(), 2u);
    const ManifestEntry* entry = manifest.Find("9.5BRivostelIE/summary.ini");
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->size, 3u);
    EXPECT_EQ(HexOf(entry->sha256), kAbcSha);
    EXPECT_NE(manifest.Find("9.5BRivostelIE/fix/9.5.7.2.zip"), nullptr);
    // Keys compare exactly: neither a prefix nor another case is the same object.
    EXPECT_EQ(manifest.Find("9.5BRivostelIE/fix/9.5.7.2"), nullptr);
    EXPECT_EQ(manifest.Find("9.5brivostelie/summary.ini"), nullptr);
    // A release of no objects is a manifest too (it lets nothing be downloaded).
    EXPECT_TRUE(manifest.Parse(Manifest(""), &failure));
    EXPECT_TRUE(manifest.Entries().empty());
}

TEST(ReleaseManifest, RefusesAnyOtherTextSayingWhichLine) {
    const std::string good = "object a.zip 3 " + kAbcSha + "\n";
    const struct {
        std::string text;
        std::string failure;
    } cases[] = {
        {"", "the manifest is empty"},
        {"brivostel-release-manifest 2\n" + good, "line 1 is not"},
        {std::string(kReleaseManifestHeader), "line 1 does not end with a line feed"},
        {Manifest("object a.zip 3 " + kAbcSha), "line 2 does not end with a line feed"},
        {Manifest("object a.zip 3 " + kAbcSha + "\r\n"), "line 2 has no valid SHA-256"},
        {Manifest(good + "\n"), "line 3 is not \"object KEY SIZE SHA-256\""},
        {Manifest("object a.zip  3 " + kAbcSha + "\n"), "line 2 is not"},
        {Manifest("object a.zip 3 " + kAbcSha + " extra\n"), "line 2 is not"},
        {Manifest("package a.zip 3 " + kAbcSha + "\n"), "line 2 is not"},
        {Manifest("object a\tb 3 " + kAbcSha + "\n"), "line 2 names no valid object key"},
        {Manifest("object a.zip 03 " + kAbcSha + "\n"), "line 2 has no valid size"},
        {Manifest("object a.zip -3 " + kAbcSha + "\n"), "line 2 has no valid size"},
        {Manifest("object a.zip 9223372036854775808 " + kAbcSha + "\n"),
         "line 2 has no valid size"},
        {Manifest("object a.zip 3 " + kAbcSha.substr(1) + "\n"), "line 2 has no valid SHA-256"},
        {Manifest("object a.zip 3 BA" + kAbcSha.substr(2) + "\n"), "line 2 has no valid SHA-256"},
        {Manifest(good + good), "line 3 names a.zip a second time"},
    };
    for (const auto& c : cases) {
        ReleaseManifest manifest;
        std::string failure;
        EXPECT_FALSE(manifest.Parse(c.text, &failure)) << c.text;
        EXPECT_EQ(failure.find(c.failure), 0u) << c.text << " gave: " << failure;
        EXPECT_TRUE(manifest.Entries().empty());
    }
    // A failed parse leaves nothing of an earlier one.
    ReleaseManifest manifest;
    std::string failure;
    ASSERT_TRUE(manifest.Parse(Manifest(good), &failure));
    EXPECT_FALSE(manifest.Parse(Manifest(good + "x\n"), &failure));
    EXPECT_EQ(manifest.Find("a.zip"), nullptr);
}

TEST(ReleaseManifest, ComparesAnObjectBySizeAndDigest) {
    ManifestEntry entry{"a.zip", 3, BytesOfHex(kAbcSha)};
    EXPECT_EQ(CompareWithEntry(entry, 3, BytesOfHex(kAbcSha)), "");
    EXPECT_EQ(CompareWithEntry(entry, 0, BytesOfHex(kEmptySha)),
              "received 0 bytes with SHA-256 " + kEmptySha +
                  ", the signed release manifest names 3 bytes with SHA-256 " + kAbcSha);
    // The same size with other bytes, and the same bytes said to be longer.
    EXPECT_NE(CompareWithEntry(entry, 3, BytesOfHex(kEmptySha)), "");
    EXPECT_NE(CompareWithEntry(entry, 4, BytesOfHex(kAbcSha)), "");
}

TEST(ReleaseManifest, HexRoundTripsAndRefusesOtherText) {
    const std::string bytes("\x00\x7f\x80\xff", 4);
    EXPECT_EQ(HexOf(bytes), "007f80ff");
    EXPECT_EQ(BytesOfHex("007f80ff"), bytes);
    EXPECT_EQ(BytesOfHex("007F80FF"), "");
    EXPECT_EQ(BytesOfHex("007"), "");
    EXPECT_EQ(BytesOfHex("0g"), "");
}

}  // namespace
