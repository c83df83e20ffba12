#include "oss/client_settings.h"

#include "oss/retry_strategy.h"

namespace oss {

namespace {
constexpr char kSdkName[] = "oss-client-cpp/";
constexpr char kSdkVersion[] = "1.9.0";
constexpr char kPlatformName[] = "Windows";
}  // namespace

OssClientSettings::OssClientSettings()
    : userAgent(std::string(kSdkName) + kSdkVersion + " (" + kPlatformName + ")"),
      retryPolicy(std::make_shared<DefaultRetryStrategy>(300, 3)) {}

}  // namespace oss
