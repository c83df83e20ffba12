#include "oss/signer.h"

#include <gtest/gtest.h>

#include "oss/canonical_string.h"

namespace oss {
namespace {

TEST(HmacSha1Signer, ProducesBase64OfHmacSha1) {
    const HmacSha1Signer signer;
    EXPECT_EQ(signer.algorithmName(), "HMAC-SHA1");
    EXPECT_EQ(signer.signerVersion(), "1.0");
    EXPECT_EQ(signer.signerKind(), 0);
    // RFC 2202 test case 2.
    EXPECT_EQ(signer.Generate("what do ya want for nothing?", "Jefe"),
              "7/zfauXrL6LSdBbV8YTfnCWafHk=");
    EXPECT_EQ(signer.Generate("", "Jefe"), "");
    EXPECT_EQ(signer.Generate("text", "").size(), 28u);
}

TEST(CanonicalStringBuilder, SignsOnlyKnownSubresourcesInByteOrder) {
    CanonicalStringBuilder builder;
    const HeaderCollection headers = {
        {"Content-MD5", "md5"}, {"content-type", "text/plain"},
        {"X-OSS-Z", "\tz "},    {"x-oss-a", "a"},
        {"x-osss-not", "n"},    {"Date", "ignored: the date argument is used"},
    };
    const ParameterCollection parameters = {
        {"uploads", ""}, {"partNumber", "3"}, {"uploadId", "u"}, {"UploadId", "wrong-case"},
        {"other", "x"},
    };
    const std::string expected =
        "PUT\nmd5\ntext/plain\nDATE\nx-oss-a:a\nx-oss-z:z\n/b/k?partNumber=3&uploadId=u&uploads";
    EXPECT_EQ(builder.Build(HttpMethod::Put, "/b/k", "DATE", headers, parameters), expected);
    EXPECT_EQ(builder.lastString(), expected);
}

TEST(CanonicalStringBuilder, SubresourceSetHasItsFiftyTwoNames) {
    const auto& names = SignedSubresources();
    EXPECT_EQ(names.size(), 52u);
    for (const char* name : {"objectMeta", "versionId", "security-token", "wormExtend", "acl"}) {
        EXPECT_EQ(names.count(name), 1u) << name;
    }
    EXPECT_EQ(names.count("objectmeta"), 0u);
}

}  // namespace
}  // namespace oss
