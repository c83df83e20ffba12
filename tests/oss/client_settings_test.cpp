#include "oss/client_settings.h"

#include <gtest/gtest.h>

#include "oss/credentials.h"
#include "oss/retry_strategy.h"

namespace oss {
namespace {

TEST(OssClientSettings, DefaultsAreTheDocumentedOnes) {
    const OssClientSettings s;
    EXPECT_EQ(s.userAgent, "oss-client-cpp/1.9.0 (Windows)");
    EXPECT_EQ(s.defaultScheme, HttpScheme::Http);
    EXPECT_EQ(s.maxConnections, 16);
    EXPECT_EQ(s.requestTimeoutMs, 10000);
    EXPECT_EQ(s.connectTimeoutMs, 5000);
    const auto* retry = dynamic_cast<const DefaultRetryStrategy*>(s.retryPolicy.get());
    ASSERT_NE(retry, nullptr);
    EXPECT_EQ(retry->delayBaseMs(), 300);
    EXPECT_EQ(retry->maxRetries(), 3);
    EXPECT_EQ(s.proxyScheme, HttpScheme::Http);
    EXPECT_TRUE(s.proxyHost.empty());
    EXPECT_EQ(s.proxyPort, 0);
    EXPECT_TRUE(s.verifyTls);
    EXPECT_FALSE(s.endpointIsCname);
    EXPECT_TRUE(s.crc64Checking);
    EXPECT_TRUE(s.adjustClockSkew);
    EXPECT_EQ(s.uploadRateLimiter, nullptr);
    EXPECT_EQ(s.executor, nullptr);
    EXPECT_EQ(s.httpClient, nullptr);
}

TEST(OssClientSettings, CopiesShareTheRetryPolicy) {
    const OssClientSettings original;
    const OssClientSettings copy = original;
    EXPECT_EQ(copy.retryPolicy, original.retryPolicy);
}

TEST(SimpleCredentialsProvider, ReturnsItsCredentialsEachTime) {
    SimpleCredentialsProvider provider("id", "secret", "token");
    for (int i = 0; i < 2; ++i) {
        const Credentials c = provider.GetCredentials();
        EXPECT_EQ(c.accessKeyId, "id");
        EXPECT_EQ(c.accessKeySecret, "secret");
        EXPECT_EQ(c.securityToken, "token");
    }
}

}  // namespace
}  // namespace oss
