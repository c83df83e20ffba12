// The storage client against the local bucket, signed with the build's account.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <ctime>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

#include "local_bucket.h"
#include "recording_retry.h"
#include "oss/curl_http_client.h"
#include "oss/oss_client.h"
#include "oss/retry_strategy.h"
#include "oss/sdk.h"

using namespace oss;
using testing_oss::LocalBucket;
using testing_oss::RecordedRequest;
using testing_oss::RecordingRetry;
using testing_oss::TestBytes;

namespace {

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

int64_t Now() {
    return static_cast<int64_t>(std::time(nullptr));
}

int64_t ParseHttpDate(const std::string& text) {
    std::tm tm{};
    std::istringstream in(text);
    in.imbue(std::locale::classic());
    in >> std::get_time(&tm, "%a, %d %b %Y %H:%M:%S GMT");
    return in.fail() ? -1 : static_cast<int64_t>(timegm(&tm));
}

class OssClientTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { InitializeSdk(); }
    static void TearDownTestSuite() { ShutdownSdk(); }

    OssClient MakeClient(const std::string& secret = INSTALLER_OSS_ACCESS_KEY_SECRET) {
        return OssClient(bucket.endpoint(), INSTALLER_OSS_ACCESS_KEY_ID, secret, settings);
    }
    GetObjectRequest ToFile(const std::string& key, const std::filesystem::path& file,
                            int* factoryCalls = nullptr) {
        GetObjectRequest request(bucket.bucket(), key);
        request.SetResponseStreamFactory([file, factoryCalls] {
            if (factoryCalls) {
                ++*factoryCalls;
            }
            return std::make_shared<std::fstream>(
                file, std::ios::out | std::ios::in | std::ios::binary | std::ios::trunc);
        });
        return request;
    }

    LocalBucket bucket;
    OssClientSettings settings;
    std::filesystem::path dir =
        std::filesystem::path(::testing::TempDir()) / ("oss-client-" + std::to_string(::getpid()));
    void SetUp() override { std::filesystem::create_directories(dir); }
    void TearDown() override { std::filesystem::remove_all(dir); }
};

}  // namespace

TEST_F(OssClientTest, DownloadsIntoAFileOverPathAndVirtualHostStyle) {
    const std::string data = TestBytes(700 * 1024);
    bucket.putObject("9.5BRivostelIE/base.zip", data);
    for (const std::string& endpoint :
         {bucket.endpoint(), "localhost:" + std::to_string(bucket.port())}) {
        OssClient client(endpoint, INSTALLER_OSS_ACCESS_KEY_ID, INSTALLER_OSS_ACCESS_KEY_SECRET,
                         settings);
        EXPECT_TRUE(client.ObjectExists(bucket.bucket(), "9.5BRivostelIE/base.zip")) << endpoint;
        const auto file = dir / "base.zip";
        auto outcome = client.GetObject(ToFile("9.5BRivostelIE/base.zip", file));
        ASSERT_TRUE(outcome.succeeded())
            << endpoint << ": " << outcome.error().code << " " << outcome.error().message;
        outcome.result().content()->flush();
        EXPECT_EQ(ReadFile(file), data);
        EXPECT_EQ(outcome.result().metadata().eTag().size(), 32u);
        EXPECT_EQ(outcome.result().requestId().size(), 24u);
    }
    const auto recorded = bucket.requests();
    ASSERT_EQ(recorded.size(), 4u);
    EXPECT_EQ(recorded[0].method, "HEAD");
    EXPECT_EQ(recorded[0].path, "/rxpublish/9.5BRivostelIE%2Fbase.zip");
    EXPECT_EQ(recorded[0].query, "objectMeta");
    EXPECT_FALSE(recorded[0].hasHeader("Content-Length"));
    EXPECT_EQ(recorded[1].method, "GET");
    EXPECT_EQ(recorded[1].header("Content-Length"), "0");
    EXPECT_EQ(recorded[1].header("Authorization").rfind("OSS " INSTALLER_OSS_ACCESS_KEY_ID ":", 0),
              0u);
    EXPECT_EQ(recorded[3].path, "/9.5BRivostelIE%2Fbase.zip");
    EXPECT_EQ(recorded[3].header("Host"), "rxpublish.localhost:" + std::to_string(bucket.port()));
}

TEST_F(OssClientTest, MissingObjectIsOneHeadAndADownloadNoSuchKey) {
    OssClient client = MakeClient();
    EXPECT_FALSE(client.ObjectExists(bucket.bucket(), "nothing"));
    ASSERT_EQ(bucket.requests().size(), 1u);

    auto meta = client.GetObjectMeta(GetObjectMetaRequest(bucket.bucket(), "nothing"));
    EXPECT_EQ(meta.error().code, "ServerError:404");
    EXPECT_EQ(meta.error().message, "");
    EXPECT_EQ(meta.error().requestId.size(), 24u);

    auto download = client.GetObject(GetObjectRequest(bucket.bucket(), "nothing"));
    EXPECT_FALSE(download.succeeded());
    EXPECT_EQ(download.error().code, "NoSuchKey");
    EXPECT_EQ(download.error().message, "The specified key does not exist.");
    EXPECT_EQ(download.error().requestId.size(), 24u);
    EXPECT_EQ(download.error().hostId, "127.0.0.1");
    EXPECT_EQ(bucket.requests().size(), 3u);
}

TEST_F(OssClientTest, ErrorBodyThatIsNotXmlIsReportedAndNeverWritten) {
    bucket.putObject("a", "x");
    bucket.addFaults(
        R"({"status": 404, "body": "<html>gateway trouble", "content_type": "text/html"})");
    OssClient client = MakeClient();
    const auto file = dir / "a";
    int factoryCalls = 0;
    auto outcome = client.GetObject(ToFile("a", file, &factoryCalls));
    EXPECT_EQ(outcome.error().code.rfind("ParseXMLError:", 0), 0u) << outcome.error().code;
    EXPECT_EQ(outcome.error().message.rfind("XML_ERROR_", 0), 0u) << outcome.error().message;
    EXPECT_EQ(outcome.error().requestId.size(), 24u);
    EXPECT_EQ(factoryCalls, 0);
    EXPECT_FALSE(std::filesystem::exists(file));
}

TEST_F(OssClientTest, ServiceUnavailableIsSentFourTimesWithGrowingWaits) {
    bucket.putObject("a", "x");
    bucket.addFaults(R"([{"status": 503, "times": 4, "message": "busy"}])");
    OssClient client = MakeClient();
    auto outcome = client.GetObject(GetObjectRequest(bucket.bucket(), "a"));
    EXPECT_EQ(outcome.error().code, "ServiceUnavailable");
    EXPECT_EQ(outcome.error().message, "busy");

    const auto recorded = bucket.requests();
    ASSERT_EQ(recorded.size(), 4u);
    const double waits[] = {0.3, 0.6, 1.2};
    for (int i = 0; i < 3; ++i) {
        EXPECT_GE(recorded[i + 1].elapsed - recorded[i].elapsed, waits[i]) << i;
    }
    EXPECT_EQ(recorded[3].status, 503);
    EXPECT_EQ(outcome.error().requestId.size(), 24u);

    bucket.clearRequests();
    bucket.addFaults(R"({"status": 599})");
    EXPECT_EQ(client.GetObject(GetObjectRequest(bucket.bucket(), "a")).error().code, "Error599");
    EXPECT_EQ(bucket.requests().size(), 1u);
}

TEST_F(OssClientTest, RefusedConnectionIsRetriedUnresolvableHostIsNot) {
    auto retry = std::make_shared<RecordingRetry>();
    settings.retryPolicy = retry;
    testing_oss::RefusingPort refusing;
    const int closedPort = refusing.port();
    OssClient refused("127.0.0.1:" + std::to_string(closedPort), INSTALLER_OSS_ACCESS_KEY_ID,
                      INSTALLER_OSS_ACCESS_KEY_SECRET, settings);
    auto outcome = refused.GetObject(GetObjectRequest(bucket.bucket(), "a"));
    EXPECT_EQ(outcome.error().code, "ClientError:200007");
    EXPECT_EQ(retry->statuses, std::vector<int32_t>(4, 200007));

    retry->statuses.clear();
    OssClient unresolvable("no-such-host.invalid", INSTALLER_OSS_ACCESS_KEY_ID,
                           INSTALLER_OSS_ACCESS_KEY_SECRET, settings);
    EXPECT_EQ(unresolvable.GetObject(GetObjectRequest(bucket.bucket(), "a")).error().code,
              "ClientError:200006");
    EXPECT_EQ(retry->statuses, std::vector<int32_t>{200006});
}

TEST_F(OssClientTest, ResetInMidBodyThenSuccessLeavesAnIdenticalFile) {
    const std::string data = TestBytes(1024 * 1024, 7);
    bucket.putObject("pkg.zip", data);
    bucket.addFaults(R"({"reset_after": 400000})");
    OssClient client = MakeClient();
    // One stream for every attempt: the retry continues what the first one wrote.
    const auto file = dir / "pkg.zip";
    auto stream = std::make_shared<std::fstream>(
        file, std::ios::out | std::ios::in | std::ios::binary | std::ios::trunc);
    GetObjectRequest request(bucket.bucket(), "pkg.zip");
    int calls = 0;
    request.SetResponseStreamFactory([&] {
        ++calls;
        return stream;
    });
    auto outcome = client.GetObject(request);
    ASSERT_TRUE(outcome.succeeded()) << outcome.error().code << " " << outcome.error().message;
    stream->close();
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(ReadFile(file), data);
    ASSERT_EQ(bucket.requests().size(), 2u);
    EXPECT_TRUE(bucket.requests()[1].hasHeader("Range"));
}

TEST_F(OssClientTest, StallWithShortRequestTimeoutEndsAsTimeout) {
    bucket.putObject("a", TestBytes(100000));
    bucket.addFaults(R"({"stall_after": 1000, "stall_seconds": 20})");
    settings.requestTimeoutMs = 1000;
    settings.retryPolicy = std::make_shared<DefaultRetryStrategy>(300, 0);
    auto outcome = MakeClient().GetObject(GetObjectRequest(bucket.bucket(), "a"));
    EXPECT_EQ(outcome.error().code, "ClientError:200028");
    EXPECT_EQ(outcome.error().message.rfind("Timeout was reached.", 0), 0u)
        << outcome.error().message;
}

TEST_F(OssClientTest, WrongCrc64FailsWholeDownloadsButNotRangedOnes) {
    bucket.putObject("a", "0123456789");
    bucket.addFaults(R"({"crc64": "wrong", "times": 2})");
    OssClient client = MakeClient();
    auto whole = client.GetObject(GetObjectRequest(bucket.bucket(), "a"));
    EXPECT_EQ(whole.error().code, "ClientError:100001");
    EXPECT_EQ(whole.error().message.rfind("Crc64 validation failed. Expected hash:", 0), 0u);
    EXPECT_NE(whole.error().message.find(". Transferd bytes:10. RequestId:"), std::string::npos);
    EXPECT_EQ(bucket.requests().size(), 1u);  // not retried

    GetObjectRequest ranged(bucket.bucket(), "a");
    ranged.setRange(2, 4);
    auto part = client.GetObject(ranged);
    ASSERT_TRUE(part.succeeded()) << part.error().code;
    std::ostringstream text;
    text << part.result().content()->rdbuf();
    EXPECT_EQ(text.str(), "234");
}

TEST_F(OssClientTest, ClockSkewCorrectsTheDateOfTheRetry) {
    bucket.putObject("a", "x");
    const int64_t skew = -400 * 86400;
    bucket.setClockOffset(skew);
    OssClient client = MakeClient();
    auto outcome = client.GetObject(GetObjectRequest(bucket.bucket(), "a"));
    ASSERT_TRUE(outcome.succeeded()) << outcome.error().code << " " << outcome.error().message;
    EXPECT_NEAR(static_cast<double>(client.impl()->requestDateOffset()), static_cast<double>(skew),
                5);
    const auto recorded = bucket.requests();
    ASSERT_EQ(recorded.size(), 2u);
    EXPECT_EQ(recorded[0].status, 403);
    EXPECT_NEAR(static_cast<double>(ParseHttpDate(recorded[1].header("Date"))),
                static_cast<double>(Now() + skew), 5);
}

// The refusal names 2020 as the server's time: the retry is dated in 2020, which the server's
// real clock refuses again, and the third attempt is dated right again.
TEST_F(OssClientTest, ServerTimeOfTheRefusalDatesTheNextAttempt) {
    bucket.putObject("a", "x");
    bucket.addFaults(R"({"skewed": true, "server_time": "2020-01-01T00:00:00.000Z"})");
    OssClient client = MakeClient();
    auto outcome = client.GetObject(GetObjectRequest(bucket.bucket(), "a"));
    ASSERT_TRUE(outcome.succeeded()) << outcome.error().code << " " << outcome.error().message;
    const auto recorded = bucket.requests();
    ASSERT_EQ(recorded.size(), 3u);
    EXPECT_NEAR(static_cast<double>(ParseHttpDate(recorded[1].header("Date"))), 1577836800.0, 5);
    EXPECT_NEAR(static_cast<double>(ParseHttpDate(recorded[2].header("Date"))),
                static_cast<double>(Now()), 5);
    EXPECT_NEAR(static_cast<double>(client.impl()->requestDateOffset()), 0.0, 5);
}

TEST_F(OssClientTest, SkewedHeadIsNeitherCorrectedNorRetried) {
    bucket.putObject("a", "x");
    bucket.setClockOffset(-400 * 86400);
    OssClient client = MakeClient();
    EXPECT_FALSE(client.ObjectExists(bucket.bucket(), "a"));
    EXPECT_EQ(client.impl()->requestDateOffset(), 0);
    EXPECT_EQ(bucket.requests().size(), 1u);
}

TEST_F(OssClientTest, RejectedSignatureIsReportedAndNotRetried) {
    bucket.putObject("a", "x");
    OssClient client = MakeClient("not-the-secret");
    auto outcome = client.GetObject(GetObjectRequest(bucket.bucket(), "a"));
    EXPECT_EQ(outcome.error().code, "SignatureDoesNotMatch");
    EXPECT_NE(outcome.error().message.find("signature"), std::string::npos);
    EXPECT_EQ(client.impl()->requestDateOffset(), 0);
    EXPECT_EQ(bucket.requests().size(), 1u);
}

TEST_F(OssClientTest, EmptyObjectMakesNoFileAndNoProgressCall) {
    bucket.putObject("empty", "");
    OssClient client = MakeClient();
    const auto file = dir / "empty";
    int factoryCalls = 0;
    GetObjectRequest request = ToFile("empty", file, &factoryCalls);
    int progressCalls = 0;
    request.SetTransferProgress(
        {[](uint64_t, int64_t, int64_t, void* calls) { ++*static_cast<int*>(calls); },
         &progressCalls});
    auto outcome = client.GetObject(request);
    ASSERT_TRUE(outcome.succeeded()) << outcome.error().code;
    EXPECT_EQ(factoryCalls, 0);
    EXPECT_EQ(progressCalls, 0);
    EXPECT_FALSE(std::filesystem::exists(file));
    ASSERT_NE(outcome.result().content(), nullptr);
}

// A download's request carries "Content-Length: 0"; that is no length of the answer.
TEST_F(OssClientTest, AnswerWithoutLengthReportsAnUnknownTotal) {
    const std::string data = TestBytes(40000);
    bucket.putObject("a", data);
    bucket.addFaults(R"({"no_content_length": true})");
    GetObjectRequest request(bucket.bucket(), "a");
    std::vector<int64_t> totals;
    request.SetTransferProgress({[](uint64_t, int64_t, int64_t total, void* seen) {
                                     static_cast<std::vector<int64_t>*>(seen)->push_back(total);
                                 },
                                 &totals});
    auto outcome = MakeClient().GetObject(request);
    ASSERT_TRUE(outcome.succeeded()) << outcome.error().code;
    ASSERT_FALSE(totals.empty());
    EXPECT_EQ(totals, std::vector<int64_t>(totals.size(), -1));
    EXPECT_EQ(bucket.requests().at(0).header("Content-Length"), "0");
}

TEST_F(OssClientTest, InvalidArgumentsAndEndpointSendNothing) {
    OssClient spaced("bad host:80", INSTALLER_OSS_ACCESS_KEY_ID, INSTALLER_OSS_ACCESS_KEY_SECRET,
                     settings);
    auto outcome = spaced.GetObject(GetObjectRequest(bucket.bucket(), "a"));
    EXPECT_EQ(outcome.error().code, "ValidateError");
    EXPECT_EQ(outcome.error().message, "The endpoint is invalid.");
    OssClient client = MakeClient();
    auto badBucket = client.GetObject(GetObjectRequest("xy", "a"));
    EXPECT_EQ(badBucket.error().code, "ValidateError");
    EXPECT_EQ(badBucket.error().message.rfind("The bucket name is invalid.", 0), 0u);
    EXPECT_TRUE(bucket.requests().empty());
}

// Three downloads hold a handle each at the same time (they meet in their progress handlers),
// which the shared transport allows only by growing its pool from 2 to 6 handles.
TEST_F(OssClientTest, ThreeConcurrentDownloadsGrowTheSharedPool) {
    bucket.putObject("a", TestBytes(1000));
    auto transport = std::make_shared<CurlHttpClient>(settings);
    settings.httpClient = transport;
    OssClient client = MakeClient();
    EXPECT_EQ(client.impl()->httpClient(), transport);
    ASSERT_TRUE(client.ObjectExists(bucket.bucket(), "a"));
    EXPECT_EQ(transport->poolSize(), 2u);

    std::mutex mutex;
    std::condition_variable allIn;
    int arrived = 0;
    std::atomic<bool> timedOut{false};
    TransferProgress meet{
        [&](uint64_t, int64_t, int64_t, void*) {
            std::unique_lock<std::mutex> lock(mutex);
            if (++arrived == 3) {
                allIn.notify_all();
            }
            if (!allIn.wait_for(lock, std::chrono::seconds(20), [&] { return arrived >= 3; })) {
                timedOut = true;
            }
        },
        nullptr};
    std::vector<std::thread> threads;
    std::vector<char> succeeded(3, 0);
    for (int i = 0; i < 3; ++i) {
        threads.emplace_back([&, i] {
            GetObjectRequest request(bucket.bucket(), "a");
            request.SetTransferProgress(meet);
            succeeded[i] = client.GetObject(request).succeeded();
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_FALSE(timedOut);
    EXPECT_EQ(succeeded, std::vector<char>(3, 1));
    EXPECT_EQ(transport->poolSize(), 6u);
}
