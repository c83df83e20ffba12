// Client objects over a scripted transport: endpoint checks, shared objects, and how answers
// are judged.
#include <gtest/gtest.h>

#include <atomic>
#include <deque>
#include <sstream>

#include "oss/crc64.h"
#include "oss/oss_client.h"

using namespace oss;

namespace {

// Answers from a script; the last answer repeats.
class ScriptedTransport : public HttpClient {
  public:
    struct Answer {
        int32_t status = 200;
        HeaderCollection headers;
        std::string body;
        uint64_t crc64 = 0;
    };
    std::shared_ptr<HttpResponse> makeRequest(
        const std::shared_ptr<HttpRequest>& request) override {
        sent.push_back(request);
        const Answer answer = script.size() > 1 ? script.front() : script.back();
        if (script.size() > 1) {
            script.pop_front();
        }
        auto response = std::make_shared<HttpResponse>(request);
        response->setStatusCode(answer.status);
        for (const auto& [name, value] : answer.headers) {
            response->setHeader(name, value);
        }
        response->setBody(std::make_shared<std::stringstream>(answer.body));
        request->setCrc64Result(answer.crc64);
        request->setTransferredBytes(static_cast<int64_t>(answer.body.size()));
        return response;
    }
    std::deque<Answer> script{Answer{}};
    std::vector<std::shared_ptr<HttpRequest>> sent;
};

class CountingExecutor : public Executor {
  public:
    void Execute(std::unique_ptr<Runnable> task) override { task->Run(); }
};

struct Fixture {
    Fixture() {
        settings.httpClient = transport;
        settings.retryPolicy = std::make_shared<DefaultRetryStrategy>(1, 3);
    }
    OssClient client(const std::string& endpoint = "oss.example.com") {
        return OssClient(endpoint, "id", "secret", settings);
    }
    std::shared_ptr<ScriptedTransport> transport = std::make_shared<ScriptedTransport>();
    OssClientSettings settings;
};

}  // namespace

TEST(EndpointIsValid, JudgesTheHostAlone) {
    for (const char* good : {"oss-cn.example-1.com", "127.0.0.1:9095", "https://a_b.example:443",
                             "http://user:pw@host.example/path?q=1"}) {
        EXPECT_TRUE(EndpointIsValid(good)) << good;
    }
    for (const char* bad : {"", "http://", "bad host.example", "hö.example", ":80"}) {
        EXPECT_FALSE(EndpointIsValid(bad)) << bad;
    }
}

TEST(OssClient, SharesTheCallersTransportAndExecutor) {
    Fixture f;
    auto executor = std::make_shared<CountingExecutor>();
    f.settings.executor = executor;
    OssClient client = f.client();
    EXPECT_EQ(client.impl()->httpClient(), f.transport);
    EXPECT_EQ(client.impl()->executor(), executor);
    EXPECT_EQ(client.impl()->serviceName(), "OSS");

    OssClientSettings defaults;
    OssClient own("oss.example.com", "id", "secret", defaults);
    EXPECT_NE(own.impl()->httpClient(), nullptr);
    EXPECT_NE(dynamic_cast<ThreadExecutor*>(own.impl()->executor().get()), nullptr);
}

TEST(OssClient, InvalidEndpointFailsEveryRequestWithoutTraffic) {
    Fixture f;
    OssClient client = f.client("http://");
    auto outcome = client.GetObject(GetObjectRequest("rxpublish", "k"));
    EXPECT_EQ(outcome.error().code, "ValidateError");
    EXPECT_EQ(outcome.error().message, "The endpoint is invalid.");
    EXPECT_FALSE(client.ObjectExists("rxpublish", "k"));
    EXPECT_TRUE(f.transport->sent.empty());
}

TEST(OssClient, Crc64OfTheBodyIsComparedOnlyForWholeDownloads) {
    Fixture f;
    ScriptedTransport::Answer answer;
    answer.body = "abc";
    answer.crc64 = crc64Update(0, "abc", 3);
    answer.headers["x-oss-hash-crc64ecma"] = std::to_string(answer.crc64 + 1);
    answer.headers["x-oss-request-id"] = "RID";
    f.transport->script = {answer};
    OssClient client = f.client();

    auto whole = client.GetObject(GetObjectRequest("rxpublish", "k"));
    EXPECT_EQ(whole.error().code, "ClientError:100001");
    EXPECT_EQ(whole.error().message,
              "Crc64 validation failed. Expected hash:" + std::to_string(answer.crc64 + 1) +
                  " not equal to calculated hash:" + std::to_string(answer.crc64) +
                  ". Transferd bytes:3. RequestId:RID");
    EXPECT_EQ(f.transport->sent.size(), 1u);

    GetObjectRequest ranged("rxpublish", "k");
    ranged.setRange(0, 2);
    EXPECT_TRUE(client.GetObject(ranged).succeeded());

    f.settings.crc64Checking = false;
    EXPECT_TRUE(f.client().GetObject(GetObjectRequest("rxpublish", "k")).succeeded());
}

// Read loosely, each of these hashes would be 0, the CRC-64 of an empty body.
TEST(OssClient, Crc64HeaderThatIsNotANumberFailsTheDownload) {
    for (const char* hash : {"abc", "0abc", "-0", "+0", "", "0x0", "18446744073709551616"}) {
        Fixture f;
        ScriptedTransport::Answer answer;
        answer.crc64 = 0;
        answer.headers["x-oss-hash-crc64ecma"] = hash;
        answer.headers["x-oss-request-id"] = "RID";
        f.transport->script = {answer};
        auto outcome = f.client().GetObject(GetObjectRequest("rxpublish", "k"));
        ASSERT_FALSE(outcome.succeeded()) << hash;
        EXPECT_EQ(outcome.error().code, "ClientError:100001") << hash;
        EXPECT_EQ(outcome.error().message,
                  "Crc64 validation failed. Expected hash:" + std::string(hash) +
                      " not equal to calculated hash:0. Transferd "
                      "bytes:0. RequestId:RID");
    }
    Fixture f;
    ScriptedTransport::Answer empty;
    empty.headers["x-oss-hash-crc64ecma"] = "0";
    f.transport->script = {empty};
    EXPECT_TRUE(f.client().GetObject(GetObjectRequest("rxpublish", "k")).succeeded());
}

TEST(OssClient, ServerErrorsWithoutDocumentKeepStatusAndBodyText) {
    Fixture f;
    ScriptedTransport::Answer answer;
    answer.status = 302;
    answer.headers["x-oss-request-id"] = "RID";
    f.transport->script = {answer};
    auto outcome = f.client().GetObject(GetObjectRequest("rxpublish", "k"));
    EXPECT_EQ(outcome.error().code, "ServerError:302");
    EXPECT_EQ(outcome.error().message, "");
    EXPECT_EQ(outcome.error().requestId, "RID");
    EXPECT_EQ(f.transport->sent.size(), 1u);
}

TEST(OssClient, FiveHundredsAreRetriedUntilTheyStop) {
    Fixture f;
    ScriptedTransport::Answer busy;
    busy.status = 500;
    f.transport->script = {busy, busy, ScriptedTransport::Answer{}};
    auto outcome = f.client().GetObject(GetObjectRequest("rxpublish", "k"));
    EXPECT_TRUE(outcome.succeeded());
    EXPECT_EQ(f.transport->sent.size(), 3u);
    // Every attempt is a fresh, signed request.
    EXPECT_NE(f.transport->sent[0], f.transport->sent[1]);
    EXPECT_TRUE(f.transport->sent[2]->hasHeader("Authorization"));
}

TEST(OssClient, CallbackFailureOf203IsAnErrorOnlyForCallbackRequests) {
    Fixture f;
    ScriptedTransport::Answer callback;
    callback.status = 203;
    callback.body = "<Error><Code>CallbackFailed</Code><Message>m</Message></Error>";
    f.transport->script = {callback};
    OssClient client = f.client();
    EXPECT_TRUE(client.GetObject(GetObjectRequest("rxpublish", "k")).succeeded());

    auto response = std::make_shared<HttpResponse>(std::make_shared<HttpRequest>(HttpMethod::Get));
    response->setStatusCode(203);
    response->request()->setHeader("x-oss-callback", "e30=");
    EXPECT_TRUE(client.impl()->IsErrorResponse(response));
    EXPECT_TRUE(client.impl()->IsErrorResponse(nullptr));
    const AttemptError error = client.impl()->MakeAttemptError(nullptr);
    EXPECT_EQ(error.code, "NullptrError");
    EXPECT_EQ(error.message, "HttpResponse is nullptr, should not be here.");
}

TEST(ThreadExecutor, RunsTasksAndSurvivesFailingOnes) {
    std::atomic<int> ran{0};
    {
        ThreadExecutor executor;
        for (int i = 0; i < 5; ++i) {
            executor.Execute(std::make_unique<Runnable>([&ran] { ++ran; }));
        }
        executor.Execute(std::make_unique<Runnable>(std::function<void()>()));
        executor.Execute(std::make_unique<Runnable>([] { throw std::runtime_error("task"); }));
    }  // joins whatever still runs
    EXPECT_EQ(ran, 5);
}
