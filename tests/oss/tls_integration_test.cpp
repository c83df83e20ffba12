// The storage client over HTTPS against the local bucket serving certificates made at test time:
// the test CA is trusted only through the client's CA bundle setting, never through the machine.
#include <gtest/gtest.h>

#include <sstream>

#include "local_bucket.h"
#include "recording_retry.h"
#include "oss/oss_client.h"
#include "oss/retry_strategy.h"
#include "oss/sdk.h"

using namespace oss;
using testing_oss::GetTestCertificates;
using testing_oss::LocalBucket;
using testing_oss::RecordingRetry;
using testing_oss::TestBytes;

namespace {

LocalBucket::Options Serving(const std::string& certificate) {
    LocalBucket::Options options;
    options.tlsCertificate = certificate;
    options.tlsKey = GetTestCertificates().key;
    return options;
}

class TlsTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { InitializeSdk(); }
    static void TearDownTestSuite() { ShutdownSdk(); }
    void SetUp() override {
        settings.caBundleFile = GetTestCertificates().ca;
        settings.retryPolicy = retry;
    }

    // Downloads "pkg.zip" from a bucket serving the certificate; the body lands in `received`
    // and the number of stream-factory calls in `factoryCalls`.
    RequestOutcome<GetObjectResult> Download(LocalBucket& bucket) {
        bucket.putObject("pkg.zip", data);
        OssClient client(bucket.endpoint(), INSTALLER_OSS_ACCESS_KEY_ID,
                         INSTALLER_OSS_ACCESS_KEY_SECRET, settings);
        GetObjectRequest request(bucket.bucket(), "pkg.zip");
        request.SetResponseStreamFactory([this] {
            ++factoryCalls;
            received = std::make_shared<std::stringstream>();
            return received;
        });
        return client.GetObject(request);
    }

    const std::string data = TestBytes(200 * 1024, 3);
    std::shared_ptr<RecordingRetry> retry = std::make_shared<RecordingRetry>();
    OssClientSettings settings;
    std::shared_ptr<std::stringstream> received;
    int factoryCalls = 0;
};

}  // namespace

TEST_F(TlsTest, CertificateOfTheGivenCaCarriesEveryRequest) {
    LocalBucket bucket(Serving(GetTestCertificates().good));
    ASSERT_EQ(bucket.endpoint().rfind("https://127.0.0.1:", 0), 0u);
    OssClient client(bucket.endpoint(), INSTALLER_OSS_ACCESS_KEY_ID,
                     INSTALLER_OSS_ACCESS_KEY_SECRET, settings);
    bucket.putObject("pkg.zip", data);
    EXPECT_TRUE(client.ObjectExists(bucket.bucket(), "pkg.zip"));
    auto outcome = Download(bucket);
    ASSERT_TRUE(outcome.succeeded()) << outcome.error().code << " " << outcome.error().message;
    EXPECT_EQ(received->str(), data);
    // Both requests reached the server (it speaks nothing but TLS), signed and path-style.
    const auto recorded = bucket.requests();
    ASSERT_EQ(recorded.size(), 2u);
    EXPECT_EQ(recorded[0].method, "HEAD");
    EXPECT_EQ(recorded[1].method, "GET");
    EXPECT_EQ(recorded[1].path, "/rxpublish/pkg.zip");
    EXPECT_EQ(recorded[1].header("Authorization").rfind("OSS " INSTALLER_OSS_ACCESS_KEY_ID ":", 0),
              0u);
}

// Each refusal happens in the handshake: one attempt (a certificate does not get better by
// retrying), no request reaches the server, no byte reaches the caller's stream, and the
// message says what was wrong with the certificate.
TEST_F(TlsTest, UntrustedExpiredAndWrongHostCertificatesAreRefusedWithTheReason) {
    const struct {
        std::string certificate;
        std::string reason;
    } cases[] = {
        {GetTestCertificates().untrusted, "unable to get local issuer certificate"},
        {GetTestCertificates().expired, "certificate has expired"},
        {GetTestCertificates().wrongHost, "'127.0.0.1'"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.certificate);
        retry->statuses.clear();
        factoryCalls = 0;
        LocalBucket bucket(Serving(c.certificate));
        auto outcome = Download(bucket);
        ASSERT_FALSE(outcome.succeeded());
        EXPECT_EQ(outcome.error().code, "ClientError:200060");
        EXPECT_NE(outcome.error().message.find("SSL peer certificate"), std::string::npos)
            << outcome.error().message;
        EXPECT_NE(outcome.error().message.find(c.reason), std::string::npos)
            << outcome.error().message;
        EXPECT_EQ(retry->statuses, std::vector<int32_t>{200060});
        EXPECT_EQ(factoryCalls, 0);
        EXPECT_TRUE(bucket.requests().empty());
    }
}

// Without the bundle setting the client trusts the machine's store, which does not hold the test
// CA; a bundle that cannot be read trusts nothing rather than everything.
TEST_F(TlsTest, TestCaIsTrustedOnlyThroughTheBundleSetting) {
    LocalBucket bucket(Serving(GetTestCertificates().good));
    settings.caBundleFile.clear();
    auto outcome = Download(bucket);
    EXPECT_EQ(outcome.error().code, "ClientError:200060") << outcome.error().message;

    settings.caBundleFile = GetTestCertificates().ca + ".missing";
    outcome = Download(bucket);
    EXPECT_FALSE(outcome.succeeded());
    EXPECT_EQ(outcome.error().code, "ClientError:200077") << outcome.error().message;
    EXPECT_EQ(factoryCalls, 0);
    EXPECT_TRUE(bucket.requests().empty());
}
