#include "oss/log.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "scoped_env.h"

#include <cstdlib>
#include <regex>
#include <string>

#include "oss/sdk.h"

namespace oss {
namespace {

// Each case sets OSS_SDK_LOG_LEVEL, starts the library and leaves it stopped again.
class LogLevelTest : public ::testing::Test {
  protected:
    void TearDown() override {
        ShutdownSdk();
        testsupport::SetEnvironmentValue("OSS_SDK_LOG_LEVEL", nullptr);
    }
    void StartWith(const char* value) {
        ShutdownSdk();
        if (value) {
            testsupport::SetEnvironmentValue("OSS_SDK_LOG_LEVEL", value);
        } else {
            testsupport::SetEnvironmentValue("OSS_SDK_LOG_LEVEL", nullptr);
        }
        InitializeSdk();
    }
};

TEST_F(LogLevelTest, EnvironmentValueChoosesLevelAndSink) {
    struct Case {
        const char* value;
        SdkLogLevel level;
        bool sink;
    };
    const Case cases[] = {
        {nullptr, SdkLogLevel::Off, false},       {"debug", SdkLogLevel::Debug, true},
        {"  DeBuG \t", SdkLogLevel::Debug, true}, {"INFO", SdkLogLevel::Info, true},
        {"all", SdkLogLevel::All, true},          {"verbose", SdkLogLevel::Off, false},
        {"debug2", SdkLogLevel::Off, false},      {"", SdkLogLevel::Off, false},
        {"off", SdkLogLevel::Off, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value ? c.value : "(unset)");
        StartWith(c.value);
        EXPECT_EQ(GetLogLevel(), c.level);
        EXPECT_EQ(GetLogSink() != nullptr, c.sink);
    }
}

TEST_F(LogLevelTest, InfoEnablesInformationalLinesButNotDebugRecords) {
    StartWith("info");
    EXPECT_TRUE(LogEnabled(SdkLogLevel::Info));
    EXPECT_FALSE(LogEnabled(SdkLogLevel::Debug));
    StartWith("off");
    EXPECT_FALSE(LogEnabled(SdkLogLevel::Fatal));
}

TEST_F(LogLevelTest, RecordHasTimeLevelTagThreadAndOneLineFeed) {
    StartWith("debug");
    ::testing::internal::CaptureStderr();
    LogWrite(SdkLogLevel::Debug, "OssClientImpl", "value:%d %s\n\n", 42, "x");
    const std::string record = ::testing::internal::GetCapturedStderr();
    // std::regex, since GoogleTest's own regular expressions on Windows know no classes.
    const std::regex shape(
        "\\[[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\\.[0-9]{3}\\]"
        "\\[DEBUG\\]\\[OssClientImpl\\]\\[[0-9]+\\]value:42 x\n");
    EXPECT_TRUE(std::regex_match(record, shape)) << record;
}

TEST_F(LogLevelTest, LongMessageIsCutTo2048Bytes) {
    StartWith("trace");
    const std::string longText(5000, 'y');
    ::testing::internal::CaptureStderr();
    LogWrite(SdkLogLevel::Trace, "T", "%s", longText.c_str());
    const std::string record = ::testing::internal::GetCapturedStderr();
    const auto start = record.find("]y");
    ASSERT_NE(start, std::string::npos);
    EXPECT_EQ(record.substr(start + 1), std::string(2048, 'y') + "\n");
}

TEST_F(LogLevelTest, NothingIsWrittenWithoutSink) {
    StartWith(nullptr);
    ::testing::internal::CaptureStderr();
    LogWrite(SdkLogLevel::Fatal, "T", "lost");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

}  // namespace
}  // namespace oss
