#include "oss/sdk.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "oss/log.h"

namespace oss {
namespace {

TEST(Sdk, SecondInitializeChangesNothingUntilShutdown) {
    setenv("OSS_SDK_LOG_LEVEL", "debug", 1);
    InitializeSdk();
    ASSERT_TRUE(SdkIsInitialized());
    setenv("OSS_SDK_LOG_LEVEL", "error", 1);
    InitializeSdk();
    EXPECT_EQ(GetLogLevel(), SdkLogLevel::Debug);

    ShutdownSdk();
    EXPECT_FALSE(SdkIsInitialized());
    EXPECT_EQ(GetLogLevel(), SdkLogLevel::Off);
    EXPECT_EQ(GetLogSink(), nullptr);

    InitializeSdk();
    EXPECT_EQ(GetLogLevel(), SdkLogLevel::Error);
    ShutdownSdk();
    unsetenv("OSS_SDK_LOG_LEVEL");
}

TEST(Sdk, ShutdownWithoutInitializeDoesNothing) {
    ShutdownSdk();
    ShutdownSdk();
    EXPECT_FALSE(SdkIsInitialized());
    EXPECT_EQ(GetLogLevel(), SdkLogLevel::Off);
}

}  // namespace
}  // namespace oss
