// Result records built from the headers of an answer.
#include <gtest/gtest.h>

#include <sstream>

#include "oss/results.h"

using namespace oss;

TEST(ObjectMetadata, UserMetadataNeedsTheExactLowerCasePrefix) {
    HeaderCollection headers;
    headers["x-oss-meta-color"] = "red";
    headers["X-OSS-META-Size"] = "big";
    headers["x-oss-meta-"] = "nameless";
    headers["Content-Length"] = "12";
    headers["ETag"] = "\"\"ABC\"";
    const ObjectMetadata metadata(headers);
    EXPECT_EQ(metadata.userMetadata().size(), 2u);
    EXPECT_EQ(metadata.userMetadata().at("color"), "red");
    EXPECT_EQ(metadata.userMetadata().at(""), "nameless");
    EXPECT_EQ(metadata.system("X-OSS-META-Size"), "big");
    EXPECT_EQ(metadata.eTag(), "ABC");
    EXPECT_EQ(metadata.contentLength(), 12);
    EXPECT_EQ(ObjectMetadata().contentLength(), -1);
}

TEST(GetObjectResult, TakesIdsFromHeadersAndAlwaysHasAnETag) {
    HeaderCollection headers;
    headers["x-oss-request-id"] = "RID";
    headers["x-oss-version-id"] = "v7";
    auto content = std::make_shared<std::stringstream>("data");
    const GetObjectResult result("bucket", "key", content, headers);
    EXPECT_EQ(result.requestId(), "RID");
    EXPECT_EQ(result.versionId(), "v7");
    EXPECT_EQ(result.bucket(), "bucket");
    EXPECT_EQ(result.key(), "key");
    EXPECT_EQ(result.content(), content);
    ASSERT_EQ(result.metadata().systemMetadata().count("ETag"), 1u);
    EXPECT_EQ(result.metadata().eTag(), "");
}
