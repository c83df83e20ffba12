// Downloads whose retries continue where the last attempt stopped, against the local bucket's
// faults: resets and stalls in mid-body, an object replaced between attempts, and servers that
// answer a Range badly.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "local_bucket.h"
#include "oss/oss_client.h"
#include "oss/retry_strategy.h"
#include "oss/sdk.h"

using namespace oss;
using testing_oss::LocalBucket;
using testing_oss::RecordedRequest;
using testing_oss::TestBytes;

namespace {

constexpr char kKey[] = "9.5BRivostelIE/base.zip";

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

int64_t RangeStart(const RecordedRequest& request) {
    const std::string range = request.header("Range");
    EXPECT_EQ(range.rfind("bytes=", 0), 0u) << range;
    EXPECT_EQ(range.back(), '-') << range;
    return std::stoll(range.substr(6));
}

class ResumedDownloadTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { InitializeSdk(); }
    static void TearDownTestSuite() { ShutdownSdk(); }

    void SetUp() override {
        std::filesystem::create_directories(dir);
        // Short waits; one retry, so that a second attempt without progress ends the download.
        settings.retryPolicy = std::make_shared<DefaultRetryStrategy>(1, 1);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    // Downloads kKey into `file` as the installer does: every factory call empties the file.
    RequestOutcome<GetObjectResult> Download() {
        GetObjectRequest request(bucket.bucket(), kKey);
        request.SetResponseStreamFactory([this] {
            ++factoryCalls;
            return std::make_shared<std::fstream>(
                file, std::ios::out | std::ios::in | std::ios::binary | std::ios::trunc);
        });
        request.SetTransferProgress({[](uint64_t, int64_t transferred, int64_t total, void* data) {
                                         auto* self = static_cast<ResumedDownloadTest*>(data);
                                         self->lastTransferred = transferred;
                                         self->lastTotal = total;
                                     },
                                     this});
        OssClient client(bucket.endpoint(), INSTALLER_OSS_ACCESS_KEY_ID,
                         INSTALLER_OSS_ACCESS_KEY_SECRET, settings);
        return client.GetObject(request);
    }
    // The object's ETag as the bucket answers it, quotes included.
    std::string ETagOfObject() {
        OssClient client(bucket.endpoint(), INSTALLER_OSS_ACCESS_KEY_ID,
                         INSTALLER_OSS_ACCESS_KEY_SECRET, settings);
        auto meta = client.GetObjectMeta(GetObjectMetaRequest(bucket.bucket(), kKey));
        bucket.clearRequests();
        return "\"" + meta.result().systemMetadata().at("ETag") + "\"";
    }

    LocalBucket bucket;
    OssClientSettings settings;
    std::filesystem::path dir = std::filesystem::path(::testing::TempDir()) /
                                ("resumed-download-" + std::to_string(::getpid()));
    std::filesystem::path file = dir / "base.zip";
    int factoryCalls = 0;
    int64_t lastTransferred = 0;
    int64_t lastTotal = 0;
};

}  // namespace

// Each attempt ends in mid-body; each retry asks for the rest of the same object, appends it to
// the same file, reports counts of the whole object, and costs nothing of the retry limit.
TEST_F(ResumedDownloadTest, ResetsInMidBodyAreContinuedWithRangeAndIfRange) {
    const std::string data = TestBytes(1024 * 1024, 3);
    bucket.putObject(kKey, data);
    const std::string etag = ETagOfObject();
    bucket.addFaults(R"({"reset_after": 150000, "times": 4})");

    auto outcome = Download();

    ASSERT_TRUE(outcome.succeeded()) << outcome.error().code << " " << outcome.error().message;
    outcome = RequestOutcome<GetObjectResult>(ServiceError{});  // closes the file
    EXPECT_EQ(ReadFile(file), data);
    EXPECT_EQ(factoryCalls, 1);
    EXPECT_EQ(lastTransferred, static_cast<int64_t>(data.size()));
    EXPECT_EQ(lastTotal, static_cast<int64_t>(data.size()));
    const auto requests = bucket.requests();
    ASSERT_EQ(requests.size(), 5u);
    EXPECT_FALSE(requests[0].hasHeader("Range"));
    int64_t previous = 0;
    for (size_t i = 1; i < requests.size(); ++i) {
        const int64_t start = RangeStart(requests[i]);
        EXPECT_GT(start, previous) << i;
        EXPECT_LE(start, 150000 * static_cast<int64_t>(i)) << i;
        EXPECT_EQ(requests[i].header("If-Range"), etag) << i;
        previous = start;
    }
}

// The whole object's CRC-64 is still compared when the last piece came as a 206.
TEST_F(ResumedDownloadTest, WrongCrc64OfAResumedDownloadFailsIt) {
    bucket.putObject(kKey, TestBytes(600000, 4));
    bucket.addFaults(R"([{"reset_after": 200000}, {"crc64": "wrong"}])");

    auto outcome = Download();

    EXPECT_EQ(outcome.error().code, "ClientError:100001");
    EXPECT_TRUE(bucket.requests().at(1).hasHeader("Range"));
}

// A server that stops sending for good: the attempt that brought bytes is continued, the ones
// that bring none count, and the stall rule ends each of them.
TEST_F(ResumedDownloadTest, StalledTransferStillEndsByTheStallRule) {
    bucket.putObject(kKey, TestBytes(100000, 5));
    bucket.addFaults(R"([{"stall_after": 30000, "stall_seconds": 20},
                         {"stall_seconds": 20, "times": -1}])");
    settings.requestTimeoutMs = 1000;

    auto outcome = Download();

    EXPECT_EQ(outcome.error().code, "ClientError:200028");
    const auto requests = bucket.requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[1].header("Range"), "bytes=30000-");
    EXPECT_EQ(requests[2].header("Range"), "bytes=30000-");
}

// If-Range finds the object replaced: the new version arrives whole, in an emptied file, with
// nothing of the old one spliced in or left behind.
TEST_F(ResumedDownloadTest, ObjectReplacedBetweenAttemptsStartsOverFromByteZero) {
    bucket.putObject(kKey, TestBytes(800000, 6));
    const std::string etag = ETagOfObject();
    bucket.addFaults(R"([{"reset_after": 300000}, {"replace_object": "the new version"}])");

    auto outcome = Download();

    ASSERT_TRUE(outcome.succeeded()) << outcome.error().code << " " << outcome.error().message;
    outcome = RequestOutcome<GetObjectResult>(ServiceError{});
    EXPECT_EQ(ReadFile(file), "the new version");
    EXPECT_EQ(factoryCalls, 2);
    const auto requests = bucket.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].header("If-Range"), etag);
    EXPECT_EQ(requests[1].status, 200);
}

// Answers that do not continue the bytes held: a 200 that ignores the Range is taken whole from
// byte 0; a 416, or a 206 from another byte than asked, makes the next attempt start over.
TEST_F(ResumedDownloadTest, AnswersThatDoNotContinueTheHeldBytesStartFromByteZero) {
    const std::string data = TestBytes(700000, 8);
    bucket.putObject(kKey, data);
    const std::pair<const char*, size_t> cases[] = {
        {R"({"ignore_range": true})", 2},
        {R"({"status": 416})", 3},
        {R"({"range_from": 0})", 3},
        {R"({"range_from": 400000})", 3},
    };
    for (const auto& [fault, requestCount] : cases) {
        bucket.clearRequests();
        factoryCalls = 0;
        bucket.addFaults(std::string(R"([{"reset_after": 250000}, )") + fault + "]");

        auto outcome = Download();

        ASSERT_TRUE(outcome.succeeded()) << fault << ": " << outcome.error().code;
        outcome = RequestOutcome<GetObjectResult>(ServiceError{});
        EXPECT_EQ(ReadFile(file), data) << fault;
        EXPECT_EQ(factoryCalls, 2) << fault;
        const auto requests = bucket.requests();
        ASSERT_EQ(requests.size(), requestCount) << fault;
        EXPECT_TRUE(requests[1].hasHeader("Range")) << fault;
        // The attempt after the refusal asks for the whole object.
        EXPECT_EQ(requests.back().hasHeader("Range"), requestCount == 2) << fault;
        EXPECT_EQ(requests.back().status, 200) << fault;
    }
}

// The slow but steady link: every answer trickles under the rate floor, which ends each attempt
// as a timeout; the attempts each bring bytes, so the download arrives whole in the end.
TEST_F(ResumedDownloadTest, BodyTricklingUnderTheRateFloorArrivesAcrossAttempts) {
    const std::string data = TestBytes(60, 9);
    bucket.putObject(kKey, data);
    bucket.addFaults(R"({"trickle_ms": 50, "times": -1})");
    settings.minTransferRateWindowMs = 1000;
    // An attempt of a loaded machine may end before its first byte: those count, as always.
    settings.retryPolicy = std::make_shared<DefaultRetryStrategy>(1, 3);

    auto outcome = Download();

    ASSERT_TRUE(outcome.succeeded()) << outcome.error().code << " " << outcome.error().message;
    outcome = RequestOutcome<GetObjectResult>(ServiceError{});
    EXPECT_EQ(ReadFile(file), data);
    EXPECT_GE(bucket.requests().size(), 2u);
}
