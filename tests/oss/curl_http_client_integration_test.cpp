// The libcurl transport against the local bucket (unsigned requests, path style).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <sstream>
#include <streambuf>
#include <thread>

#include "local_bucket.h"
#include "oss/crc64.h"
#include "oss/curl_http_client.h"
#include "oss/sdk.h"
#include "scoped_env.h"

using namespace oss;
using testing_oss::LocalBucket;
using testing_oss::TestBytes;

namespace {

LocalBucket::Options Anonymous() {
    LocalBucket::Options options;
    options.anonymous = true;
    return options;
}

struct ProgressLog {
    std::vector<uint64_t> increments;
    int64_t lastTransferred = 0;
    int64_t lastTotal = 0;
};

std::shared_ptr<HttpRequest> MakeRequest(const LocalBucket& bucket, const std::string& key,
                                         HttpMethod method = HttpMethod::Get) {
    auto request = std::make_shared<HttpRequest>(method);
    request->setUrl(Url("http://" + bucket.endpoint() + "/" + bucket.bucket() + "/" + key));
    return request;
}

struct Factory {
    int calls = 0;
    std::shared_ptr<std::stringstream> stream = std::make_shared<std::stringstream>();
    ResponseStreamFactory make() {
        return [this] {
            ++calls;
            return stream;
        };
    }
};

void TrackProgress(HttpRequest& request, ProgressLog& log) {
    request.setTransferProgress(
        {[](uint64_t increment, int64_t transferred, int64_t total, void* data) {
             auto* log = static_cast<ProgressLog*>(data);
             log->increments.push_back(increment);
             log->lastTransferred = transferred;
             log->lastTotal = total;
         },
         &log});
}

std::string Content(const std::shared_ptr<std::iostream>& stream) {
    std::ostringstream out;
    out << stream->rdbuf();
    return out.str();
}

class CurlHttpClientTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { InitializeSdk(); }
    static void TearDownTestSuite() { ShutdownSdk(); }

    LocalBucket bucket{Anonymous()};
    OssClientSettings settings;
};

// A stream buffer that accepts `room` bytes and then fails like a full disk.
class FullDiskBuffer : public std::streambuf {
  public:
    explicit FullDiskBuffer(size_t room) : room_(room) {}

  protected:
    int_type overflow(int_type c) override {
        if (room_ == 0) {
            return traits_type::eof();
        }
        --room_;
        return c;
    }
    std::streamsize xsputn(const char*, std::streamsize n) override {
        const auto accepted = std::min<std::streamsize>(n, static_cast<std::streamsize>(room_));
        room_ -= static_cast<size_t>(accepted);
        return accepted;
    }

  private:
    size_t room_;
};

// A stream buffer that takes every byte into its buffer and then cannot write it out, like a
// disk that fills up while the last block is still buffered.
class UnflushableBuffer : public std::streambuf {
  protected:
    std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
    int sync() override { return -1; }
};

}  // namespace

TEST_F(CurlHttpClientTest, DownloadGoesToFactoryStreamWithProgressAndCrc64) {
    const std::string data = TestBytes(300 * 1024);
    bucket.putObject("pkg/base.zip", data);
    CurlHttpClient client(settings);
    auto request = MakeRequest(bucket, "pkg%2Fbase.zip");
    request->setCheckCrc64(true);
    Factory factory;
    request->setResponseStreamFactory(factory.make());
    ProgressLog progress;
    TrackProgress(*request, progress);

    auto response = client.makeRequest(request);

    EXPECT_EQ(response->statusCode(), 200);
    EXPECT_EQ(factory.calls, 1);
    EXPECT_EQ(response->getBody(), factory.stream);
    EXPECT_EQ(factory.stream->str(), data);
    EXPECT_EQ(request->crc64Result(), crc64Update(0, data.data(), data.size()));
    EXPECT_EQ(request->transferredBytes(), static_cast<int64_t>(data.size()));
    EXPECT_EQ(progress.lastTransferred, static_cast<int64_t>(data.size()));
    EXPECT_EQ(progress.lastTotal, static_cast<int64_t>(data.size()));
    EXPECT_EQ(response->getHeader("x-oss-hash-crc64ecma"),
              std::to_string(crc64Update(0, data.data(), data.size())));
    EXPECT_EQ(response->getHeader("X-OSS-REQUEST-ID").size(), 24u);
}

TEST_F(CurlHttpClientTest, ErrorDocumentStaysInMemoryAndNeverReachesTheCallersStream) {
    CurlHttpClient client(settings);
    auto request = MakeRequest(bucket, "missing");
    Factory factory;
    request->setResponseStreamFactory(factory.make());
    ProgressLog progress;
    TrackProgress(*request, progress);

    auto response = client.makeRequest(request);

    EXPECT_EQ(response->statusCode(), 404);
    EXPECT_EQ(factory.calls, 0);
    const std::string body = Content(response->getBody());
    EXPECT_NE(body.find("<Code>NoSuchKey</Code>"), std::string::npos);
    EXPECT_FALSE(progress.increments.empty());
    EXPECT_EQ(progress.lastTotal, static_cast<int64_t>(body.size()));
}

TEST_F(CurlHttpClientTest, AnswersWithoutBodyBytesCallNeitherFactoryNorProgress) {
    bucket.putObject("empty", "");
    bucket.putObject("some", "abc");
    CurlHttpClient client(settings);
    for (auto [key, method] : {std::pair{"empty", HttpMethod::Get}, {"some", HttpMethod::Head}}) {
        auto request = MakeRequest(bucket, key, method);
        Factory factory;
        request->setResponseStreamFactory(factory.make());
        ProgressLog progress;
        TrackProgress(*request, progress);
        auto response = client.makeRequest(request);
        EXPECT_EQ(response->statusCode(), 200) << key;
        EXPECT_EQ(factory.calls, 0) << key;
        EXPECT_TRUE(progress.increments.empty()) << key;
        ASSERT_NE(response->getBody(), nullptr);
        EXPECT_EQ(Content(response->getBody()), "");
    }
}

TEST_F(CurlHttpClientTest, SendsOnlyHeadersWithValuesAndNoExpect) {
    bucket.putObject("a", "x");
    CurlHttpClient client(settings);
    auto request = MakeRequest(bucket, "a");
    request->setHeader("x-oss-meta-empty", "");
    request->setHeader("x-oss-meta-full", "v");
    client.makeRequest(request);

    auto recorded = bucket.requests();
    ASSERT_EQ(recorded.size(), 1u);
    EXPECT_FALSE(recorded[0].hasHeader("x-oss-meta-empty"));
    EXPECT_EQ(recorded[0].header("x-oss-meta-full"), "v");
    EXPECT_FALSE(recorded[0].hasHeader("Expect"));
    EXPECT_EQ(recorded[0].header("User-Agent"), settings.userAgent);
}

TEST_F(CurlHttpClientTest, ResponseHeadersDifferingInCaseKeepTheLaterValue) {
    bucket.putObject("a", "x");
    bucket.addFaults(R"({"headers": {"X-Dup": "first", "x-dup": "second",
                                     "Bad Name": "ignored", "x-spaced": "  v  "}})");
    CurlHttpClient client(settings);
    auto response = client.makeRequest(MakeRequest(bucket, "a"));
    EXPECT_EQ(response->statusCode(), 200);
    EXPECT_EQ(response->getHeader("x-dup"), "second");
    EXPECT_EQ(response->getHeaders().count("X-Dup"), 1u);
    EXPECT_FALSE(response->hasHeader("Bad Name"));
    EXPECT_EQ(response->getHeader("x-spaced"), "v");
}

TEST_F(CurlHttpClientTest, OversizedHeaderBlockFailsTheTransfer) {
    bucket.putObject("a", "x");
    std::string headers = "{";
    for (int i = 0; i < 40; ++i) {
        headers += (i ? ", " : "") + std::string("\"x-big-") + std::to_string(i) + "\": \"" +
                   std::string(8000, 'h') + "\"";
    }
    bucket.addFaults(R"({"headers": )" + headers + "}}");
    CurlHttpClient client(settings);
    auto request = MakeRequest(bucket, "a");
    Factory factory;
    request->setResponseStreamFactory(factory.make());
    auto response = client.makeRequest(request);
    EXPECT_EQ(response->statusCode(), 200023);
    EXPECT_NE(response->statusMessage().find("response headers too large"), std::string::npos);
    EXPECT_EQ(factory.calls, 0);
}

TEST_F(CurlHttpClientTest, BodyWithoutStreamFactoryIsCappedInMemory) {
    bucket.putObject("big", TestBytes(5 * 1024 * 1024));
    bucket.putObject("small", "abc");
    CurlHttpClient client(settings);
    auto small = client.makeRequest(MakeRequest(bucket, "small"));
    EXPECT_EQ(small->statusCode(), 200);
    EXPECT_EQ(Content(small->getBody()), "abc");

    auto big = client.makeRequest(MakeRequest(bucket, "big"));
    EXPECT_EQ(big->statusCode(), 200023);
    EXPECT_NE(big->statusMessage().find("too large to keep in memory"), std::string::npos)
        << big->statusMessage();
}

TEST_F(CurlHttpClientTest, NetworkFailuresBecomeTransportStatuses) {
    CurlHttpClient client(settings);
    testing_oss::RefusingPort refusing;
    const int closedPort = refusing.port();
    auto refused = std::make_shared<HttpRequest>(HttpMethod::Get);
    refused->setUrl(Url("http://127.0.0.1:" + std::to_string(closedPort) + "/b/k"));
    auto response = client.makeRequest(refused);
    EXPECT_EQ(response->statusCode(), 200007);
    EXPECT_EQ(response->statusMessage().rfind("Couldn't connect to server.", 0), 0u)
        << response->statusMessage();

    auto unresolvable = std::make_shared<HttpRequest>(HttpMethod::Get);
    unresolvable->setUrl(Url("http://no-such-host.invalid/b/k"));
    response = client.makeRequest(unresolvable);
    EXPECT_EQ(response->statusCode(), 200006);
    EXPECT_NE(response->statusMessage().find("no-such-host.invalid"), std::string::npos);
}

// The proxy variables libcurl would read are set to a listener that must see nothing while
// proxyHost is empty; a proxyHost that names it sends the request there.
TEST_F(CurlHttpClientTest, ProxyOnlyFromTheSettingsNeverFromTheEnvironment) {
    bucket.putObject("a", "abc");
    testing_oss::SilentListener proxy;
    testsupport::ScopedEnv env;
    for (const char* name :
         {"http_proxy", "HTTPS_PROXY", "https_proxy", "ALL_PROXY", "all_proxy"}) {
        env.Set(name, proxy.url().c_str());
    }
    env.Set("NO_PROXY", nullptr).Set("no_proxy", nullptr);

    {
        CurlHttpClient client(settings);
        auto request = MakeRequest(bucket, "a");
        Factory factory;
        request->setResponseStreamFactory(factory.make());
        EXPECT_EQ(client.makeRequest(request)->statusCode(), 200);
        EXPECT_EQ(factory.stream->str(), "abc");
        EXPECT_FALSE(proxy.connectionWaiting());
    }

    settings.proxyHost = "127.0.0.1";
    settings.proxyPort = proxy.port();
    settings.requestTimeoutMs = 1000;  // the listener never answers
    CurlHttpClient client(settings);
    EXPECT_EQ(client.makeRequest(MakeRequest(bucket, "a"))->statusCode(), 200028);
    EXPECT_TRUE(proxy.connectionWaiting());
}

TEST_F(CurlHttpClientTest, StallEndsAsTimeoutAndTheStreamGoesBackToWhereItBegan) {
    bucket.putObject("a", TestBytes(100000));
    bucket.addFaults(R"({"stall_after": 5000, "stall_seconds": 10})");
    settings.requestTimeoutMs = 1000;
    CurlHttpClient client(settings);
    auto request = MakeRequest(bucket, "a");
    Factory factory;
    *factory.stream << "kept";
    request->setResponseStreamFactory(factory.make());

    auto response = client.makeRequest(request);

    EXPECT_EQ(response->statusCode(), 200028);
    EXPECT_EQ(response->getBody(), factory.stream);
    EXPECT_EQ(factory.stream->tellp(), 4);
    EXPECT_EQ(request->transferredBytes(), 5000);
}

// A caller that gives up (the installer's window closed) ends a stalled transfer from the
// progress callback, which libcurl calls also while no bytes arrive; it is no timeout.
TEST_F(CurlHttpClientTest, CancelledStalledTransferEndsAsAbortLongBeforeTheStallRule) {
    bucket.putObject("a", TestBytes(100000));
    bucket.addFaults(R"({"stall_after": 5000, "stall_seconds": 30})");
    settings.requestTimeoutMs = 20000;
    CurlHttpClient client(settings);
    auto request = MakeRequest(bucket, "a");
    Factory factory;
    request->setResponseStreamFactory(factory.make());
    std::atomic<bool> cancel{false};
    TransferProgress progress;
    progress.cancelled = [&cancel] { return cancel.load(); };
    request->setTransferProgress(progress);
    std::thread closer([&cancel] {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        cancel = true;
    });

    const auto start = std::chrono::steady_clock::now();
    auto response = client.makeRequest(request);
    const auto took = std::chrono::steady_clock::now() - start;
    closer.join();

    EXPECT_EQ(response->statusCode(), 200042);
    EXPECT_NE(response->statusMessage().find("cancelled"), std::string::npos)
        << response->statusMessage();
    EXPECT_LT(took, std::chrono::seconds(10));
    EXPECT_EQ(request->transferredBytes(), 5000);
}

// One byte every 200 ms passes the stall rule (1 byte per second for 1 s here); the rate floor
// ends the transfer after its window of 3 s.
TEST_F(CurlHttpClientTest, BodyThatTricklesUnderTheRateFloorEndsAsTimeout) {
    bucket.putObject("a", TestBytes(100));
    bucket.addFaults(R"({"trickle_ms": 200})");
    settings.requestTimeoutMs = 1000;
    settings.minTransferRateWindowMs = 3000;
    CurlHttpClient client(settings);
    auto request = MakeRequest(bucket, "a");
    Factory factory;
    request->setResponseStreamFactory(factory.make());

    auto response = client.makeRequest(request);

    EXPECT_EQ(response->statusCode(), 200028);
    EXPECT_NE(response->statusMessage().find("transfer rate under 1024 bytes per second for 3 "
                                             "seconds"),
              std::string::npos)
        << response->statusMessage();
    EXPECT_LT(request->transferredBytes(), 100);
}

TEST_F(CurlHttpClientTest, ContentLengthThatIsNotANumberFailsTheAnswer) {
    bucket.putObject("a", "abc");
    const std::pair<const char*, int> rows[] = {
        {"99999999999999999999", 200063},  // overflows: read loosely, the body would run to EOF
        {"abc", 200008},
        {"-3", 200008},
    };
    CurlHttpClient client(settings);
    for (const auto& [length, status] : rows) {
        bucket.addFaults(std::string(R"({"content_length": ")") + length + "\"}");
        auto request = MakeRequest(bucket, "a");
        Factory factory;
        request->setResponseStreamFactory(factory.make());
        EXPECT_EQ(client.makeRequest(request)->statusCode(), status) << length;
        EXPECT_EQ(factory.stream->str(), "") << length;
    }
}

TEST_F(CurlHttpClientTest, OnlyTheFinalAnswersHeadersCount) {
    const std::string data = "abc";
    bucket.putObject("a", data);
    bucket.addFaults(R"({"interim_headers": {"x-interim": "yes", "x-oss-request-id": "interim",
                                             "x-oss-hash-crc64ecma": "1"}})");
    CurlHttpClient client(settings);
    auto request = MakeRequest(bucket, "a");
    Factory factory;
    request->setResponseStreamFactory(factory.make());

    auto response = client.makeRequest(request);

    EXPECT_EQ(response->statusCode(), 200);
    EXPECT_FALSE(response->hasHeader("x-interim"));
    EXPECT_NE(response->getHeader("x-oss-request-id"), "interim");
    EXPECT_EQ(response->getHeader("x-oss-hash-crc64ecma"),
              std::to_string(crc64Update(0, data.data(), data.size())));
    EXPECT_EQ(factory.stream->str(), data);
}

TEST_F(CurlHttpClientTest, ResetMidBodyReplacesTheHandleAndTheNextRequestSucceeds) {
    const std::string data = TestBytes(200000);
    bucket.putObject("a", data);
    bucket.addFaults(R"({"reset_after": 70000})");
    CurlHttpClient client(settings);
    Factory factory;
    auto first = MakeRequest(bucket, "a");
    first->setResponseStreamFactory(factory.make());
    const int status = client.makeRequest(first)->statusCode();
    EXPECT_TRUE(status == 200018 || status == 200056) << status;
    EXPECT_EQ(factory.stream->tellp(), 0);

    auto second = MakeRequest(bucket, "a");
    second->setResponseStreamFactory(factory.make());
    EXPECT_EQ(client.makeRequest(second)->statusCode(), 200);
    EXPECT_EQ(factory.stream->str(), data);
    EXPECT_EQ(client.poolSize(), 2u);
}

// Also when the stream fails only as its last bytes are flushed, after libcurl has finished.
TEST_F(CurlHttpClientTest, FullDiskEndsAsWriteErrorWithBadStateText) {
    bucket.putObject("a", TestBytes(100000));
    CurlHttpClient client(settings);
    FullDiskBuffer disk(1000);
    UnflushableBuffer unflushable;
    for (std::streambuf* buffer :
         {static_cast<std::streambuf*>(&disk), static_cast<std::streambuf*>(&unflushable)}) {
        auto request = MakeRequest(bucket, "a");
        auto stream = std::make_shared<std::iostream>(buffer);
        request->setResponseStreamFactory([stream] { return stream; });

        auto response = client.makeRequest(request);

        EXPECT_EQ(response->statusCode(), 200023);
        EXPECT_NE(response->statusMessage().find(
                      ". Caused by content is in bad state(Read/writing error on i/o operation)."),
                  std::string::npos)
            << response->statusMessage();
    }
}

TEST_F(CurlHttpClientTest, RequestBodyStandsWhereItWasAfterSuccessAndFailure) {
    CurlHttpClient client(settings);
    const std::string payload = "0123456789";
    auto body = std::make_shared<std::stringstream>(payload);
    body->seekg(2);
    const uint64_t expected = crc64Update(0, payload.data() + 2, payload.size() - 2);
    for (int attempt = 0; attempt < 2; ++attempt) {
        auto request = MakeRequest(bucket, "upload", HttpMethod::Put);
        request->setBody(body);
        request->setHeader("Content-Length", "8");
        request->setCheckCrc64(true);
        auto response = client.makeRequest(request);
        EXPECT_EQ(response->statusCode(), 405) << response->statusMessage();
        EXPECT_EQ(request->crc64Result(), expected) << attempt;
        EXPECT_EQ(body->tellg(), 2);
    }
    for (const auto& recorded : bucket.requests()) {
        EXPECT_EQ(recorded.header("Content-Length"), "8");
        EXPECT_FALSE(recorded.hasHeader("Transfer-Encoding"));
        EXPECT_EQ(recorded.connection, 1);
    }
    auto refused = std::make_shared<HttpRequest>(HttpMethod::Put);
    refused->setUrl(Url("http://no-such-host.invalid/b/k"));
    refused->setBody(body);
    EXPECT_EQ(client.makeRequest(refused)->statusCode(), 200006);
    EXPECT_EQ(body->tellg(), 2);
}

TEST_F(CurlHttpClientTest, BodyWithoutContentLengthReportsUnknownTotal) {
    const std::string data = TestBytes(50000);
    bucket.putObject("a", data);
    bucket.addFaults(R"({"no_content_length": true})");
    CurlHttpClient client(settings);
    auto request = MakeRequest(bucket, "a");
    Factory factory;
    request->setResponseStreamFactory(factory.make());
    ProgressLog progress;
    TrackProgress(*request, progress);
    EXPECT_EQ(client.makeRequest(request)->statusCode(), 200);
    EXPECT_EQ(factory.stream->str(), data);
    EXPECT_EQ(progress.lastTotal, -1);
}

// Three calls hold a handle at the same time: each waits in its progress handler until all
// three have received body bytes, which only a pool grown past two handles allows.
TEST_F(CurlHttpClientTest, ThreeConcurrentCallsGrowThePoolFromTwoToSix) {
    bucket.putObject("a", TestBytes(1000));
    CurlHttpClient client(settings);
    EXPECT_EQ(client.poolSize(), 0u);
    ASSERT_EQ(client.makeRequest(MakeRequest(bucket, "a"))->statusCode(), 200);
    EXPECT_EQ(client.poolSize(), 2u);

    std::mutex mutex;
    std::condition_variable allIn;
    int arrived = 0;
    bool timedOut = false;
    auto rendezvous = [&](uint64_t, int64_t, int64_t, void*) {
        std::unique_lock<std::mutex> lock(mutex);
        if (++arrived == 3) {
            allIn.notify_all();
        }
        if (!allIn.wait_for(lock, std::chrono::seconds(20), [&] { return arrived >= 3; })) {
            timedOut = true;
        }
    };
    std::vector<std::thread> threads;
    std::vector<int> statuses(3);
    for (int i = 0; i < 3; ++i) {
        threads.emplace_back([&, i] {
            auto request = MakeRequest(bucket, "a");
            request->setTransferProgress({rendezvous, nullptr});
            statuses[i] = client.makeRequest(request)->statusCode();
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_FALSE(timedOut);
    EXPECT_EQ(statuses, std::vector<int>(3, 200));
    EXPECT_EQ(client.poolSize(), 6u);
}
