#include "oss/client_settings.h"

#include <gtest/gtest.h>

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
    EXPECT_TRUE(s.verifyTls);
    EXPECT_FALSE(s.endpointIsCname);
    EXPECT_TRUE(s.crc64Checking);
    EXPECT_TRUE(s.adjustClockSkew);
}

}  // namespace
}  // namespace oss
