#include "oss/sdk.h"

#include <gtest/gtest.h>

#include "scoped_env.h"

#include <cstdlib>

#include "oss/log.h"

namespace oss {
namespace {

TEST(Sdk, SecondInitializeChangesNothingUntilShutdown) {
    testsupport::SetEnvironmentValue("OSS_SDK_LOG_LEVEL", "debug");
    InitializeSdk();
    ASSERT_TRUE(SdkIsInitialized());
    testsupport::SetEnvironmentValue("OSS_SDK_LOG_LEVEL", "error");
    InitializeSdk();
    EXPECT_EQ(GetLogLevel(), SdkLogLevel::Debug);

    ShutdownSdk();
    EXPECT_FALSE(SdkIsInitialized());
    EXPECT_EQ(GetLogLevel(), SdkLogLevel::Off);
    EXPECT_EQ(GetLogSink(), nullptr);

    InitializeSdk();
    EXPECT_EQ(GetLogLevel(), SdkLogLevel::Error);
    ShutdownSdk();
    testsupport::SetEnvironmentValue("OSS_SDK_LOG_LEVEL", nullptr);
}

TEST(Sdk, ShutdownWithoutInitializeDoesNothing) {
    ShutdownSdk();
    ShutdownSdk();
    EXPECT_FALSE(SdkIsInitialized());
    EXPECT_EQ(GetLogLevel(), SdkLogLevel::Off);
}

}  // namespace
}  // namespace oss
