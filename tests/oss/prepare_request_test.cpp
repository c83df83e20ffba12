#include "oss/prepare_request.h"

#include <gtest/gtest.h>

#include "scoped_env.h"

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "oss/log.h"
#include "oss/object_requests.h"
#include "oss/sdk.h"

namespace oss {
namespace {

constexpr int64_t kNow = 1700000000;
constexpr char kDate[] = "Tue, 14 Nov 2023 22:13:20 GMT";
constexpr char kHost[] = "oss-test.example.net";

// A download whose caller adds headers of its own.
class RequestWithHeaders : public GetObjectRequest {
  public:
    RequestWithHeaders(const std::string& key, HeaderCollection extra)
        : GetObjectRequest("rxpublish", key), extra_(std::move(extra)) {}

  protected:
    HeaderCollection ExtraHeaders() const override {
        HeaderCollection headers = GetObjectRequest::ExtraHeaders();
        for (const auto& [name, value] : extra_) {
            headers[name] = value;
        }
        return headers;
    }

  private:
    HeaderCollection extra_;
};

// An upload with a body, asking for Content-MD5.
class RequestWithBody : public OssObjectRequest {
  public:
    RequestWithBody() : OssObjectRequest("rxpublish", "pkg/summary.ini") {
        setFlags(FlagContentMd5);
    }

  protected:
    std::string BodyText() const override { return "hello"; }
};

struct Fixture {
    OssClientSettings settings;
    SimpleCredentialsProvider credentials{"test-id", "test-secret"};
    HmacSha1Signer signer;
    int64_t offset = 0;
    int clockCalls = 0;

    RequestContext Context() {
        return RequestContext{settings, offset, credentials, signer, this, [this] {
                                  ++clockCalls;
                                  return kNow;
                              }};
    }
};

std::vector<std::string> HeaderNames(const HttpRequest& http) {
    std::vector<std::string> names;
    for (const auto& [name, value] : http.getHeaders()) {
        names.push_back(name);
    }
    return names;
}

struct SigningCase {
    const char* name;
    std::function<std::unique_ptr<OssRequest>()> makeRequest;
    HttpMethod method;
    std::string endpoint;
    bool cname;
    std::string securityToken;
    std::string url;
    std::string stringToSign;
    std::string signature;
};

std::string Sts(const std::string& middle, const std::string& resource, const char* method = "GET",
                const std::string& md5 = "") {
    return std::string(method) + "\n" + md5 + "\napplication/xml\n" + kDate + "\n" + middle +
           resource;
}

TEST(PrepareHttpRequest, SignsAndAddressesEachCase) {
    const std::string resource = "/rxpublish/pkg/summary.ini";
    auto download = [] {
        return std::make_unique<GetObjectRequest>("rxpublish", "pkg/summary.ini");
    };
    const std::vector<SigningCase> cases = {
        {"download, bare host", download, HttpMethod::Get, kHost, false, "",
         "http://rxpublish.oss-test.example.net/pkg%2Fsummary.ini", Sts("", resource),
         "I5t+QHikFwcqPqo8T/+x8lePAws="},
        {"existence test",
         [] { return std::make_unique<GetObjectMetaRequest>("rxpublish", "pkg/summary.ini"); },
         HttpMethod::Head, kHost, false, "",
         "http://rxpublish.oss-test.example.net/pkg%2Fsummary.ini?objectMeta",
         "HEAD\n\napplication/xml\n" + std::string(kDate) + "\n" + resource + "?objectMeta",
         "L5lm0AhL80QS/FFcTg8TlnDqF4o="},
        {"https endpoint keeps its scheme", download, HttpMethod::Get,
         std::string("https://") + kHost, false, "",
         "https://rxpublish.oss-test.example.net/pkg%2Fsummary.ini", Sts("", resource),
         "I5t+QHikFwcqPqo8T/+x8lePAws="},
        {"IPv4 endpoint with port puts the bucket in the path", download, HttpMethod::Get,
         "127.0.0.1:9095", false, "", "http://127.0.0.1:9095/rxpublish/pkg%2Fsummary.ini",
         Sts("", resource), "I5t+QHikFwcqPqo8T/+x8lePAws="},
        {"IPv4 endpoint without port", download, HttpMethod::Get, "http://10.1.2.3", false, "",
         "http://10.1.2.3/rxpublish/pkg%2Fsummary.ini", Sts("", resource),
         "I5t+QHikFwcqPqo8T/+x8lePAws="},
        {"custom domain", download, HttpMethod::Get, "downloads.example.org", true, "",
         "http://downloads.example.org/pkg%2Fsummary.ini", Sts("", resource),
         "I5t+QHikFwcqPqo8T/+x8lePAws="},
        {"x-oss header with odd case and spaces",
         [] {
             return std::make_unique<RequestWithHeaders>(
                 "pkg/summary.ini", HeaderCollection{{"x-oss-Meta-Note", " value "}});
         },
         HttpMethod::Get, kHost, false, "",
         "http://rxpublish.oss-test.example.net/pkg%2Fsummary.ini",
         Sts("x-oss-meta-note:value\n", resource), "VK5J+glwXPxCFm3nBSTNqxXdjxY="},
        {"signed versionId, unsigned parameter only in the URL",
         [] {
             auto request = std::make_unique<GetObjectRequest>("rxpublish", "pkg/summary.ini");
             request->setVersionId("7");
             request->setResponseOverrides(
                 {{"response-content-type", "text/plain"}, {"unsigned-name", "a b"}});
             return request;
         },
         HttpMethod::Get, kHost, false, "",
         "http://rxpublish.oss-test.example.net/pkg%2Fsummary.ini?response-content-type=text%"
         "2Fplain&unsigned-name=a%20b&versionId=7",
         Sts("", resource + "?response-content-type=text/plain&versionId=7"),
         "2B3UEvBT/WqibR10ldZykTRLmIA="},
        {"security token is sent and signed", download, HttpMethod::Get, kHost, false, "tok-123",
         "http://rxpublish.oss-test.example.net/pkg%2Fsummary.ini",
         Sts("x-oss-security-token:tok-123\n", resource), "Ears7FY3oRMT0AhkPnY86alf0lM="},
        {"key with a space",
         [] { return std::make_unique<GetObjectRequest>("rxpublish", "fix/a b.zip"); },
         HttpMethod::Get, kHost, false, "", "http://rxpublish.oss-test.example.net/fix%2Fa%20b.zip",
         Sts("", "/rxpublish/fix/a b.zip"), "5zpbhyvZyu3K5wZgiPadapilX/w="},
        {"body with Content-MD5", [] { return std::make_unique<RequestWithBody>(); },
         HttpMethod::Put, kHost, false, "",
         "http://rxpublish.oss-test.example.net/pkg%2Fsummary.ini",
         Sts("", resource, "PUT", "XUFAKrxLKna5cZ2REBfFkg=="), "Fyl/lB2ho5NMlxfzDvSRvzIuTWc="},
    };

    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Fixture f;
        f.settings.endpointIsCname = c.cname;
        SimpleCredentialsProvider credentials("test-id", "test-secret", c.securityToken);
        const RequestContext context{f.settings, 0, credentials, f.signer, &f, [] { return kNow; }};
        const auto request = c.makeRequest();

        const auto http = PrepareHttpRequest(context, c.endpoint, *request, c.method);
        EXPECT_EQ(http->method(), c.method);
        EXPECT_EQ(http->url().toString(), c.url);
        EXPECT_EQ(http->getHeader("Date"), kDate);
        EXPECT_EQ(http->getHeader("Authorization"), "OSS test-id:" + c.signature);

        HttpRequest again(c.method);
        ApplyHeaders(context, again, request->BuildHeaders());
        ApplyBody(again, request->BuildBody(), (request->flags() & FlagContentMd5) != 0);
        EXPECT_EQ(SignRequest(context, again, *request), c.stringToSign);
    }
}

TEST(PrepareHttpRequest, DownloadCarriesExactlyTheExpectedHeaders) {
    Fixture f;
    const GetObjectRequest request("rxpublish", "pkg/summary.ini");
    const auto http = PrepareHttpRequest(f.Context(), kHost, request, HttpMethod::Get);
    EXPECT_EQ(HeaderNames(*http), (std::vector<std::string>{"Authorization", "Content-Length",
                                                            "Content-Type", "Date", "User-Agent"}));
    EXPECT_EQ(http->getHeader("Content-Length"), "0");
    EXPECT_EQ(http->getHeader("Content-Type"), "application/xml");
    EXPECT_EQ(http->getHeader("User-Agent"), "oss-client-cpp/1.9.0 (Windows)");
    EXPECT_EQ(http->getBody(), nullptr);
}

TEST(PrepareHttpRequest, HeadRequestHasNoContentLength) {
    Fixture f;
    const GetObjectMetaRequest request("rxpublish", "pkg/summary.ini");
    const auto http = PrepareHttpRequest(f.Context(), kHost, request, HttpMethod::Head);
    EXPECT_FALSE(http->hasHeader("Content-Length"));
    EXPECT_FALSE(http->checkCrc64());
}

TEST(PrepareHttpRequest, RequestUserAgentIsReplacedBySettings) {
    Fixture f;
    f.settings.userAgent = "installer-test/1";
    const RequestWithHeaders request("k", HeaderCollection{{"user-agent", "evil/0"}});
    const auto http = PrepareHttpRequest(f.Context(), kHost, request, HttpMethod::Get);
    EXPECT_EQ(http->getHeader("User-Agent"), "installer-test/1");
}

TEST(PrepareHttpRequest, XOssDateIsRepeatedAsDateWithoutReadingTheClock) {
    Fixture f;
    const RequestWithHeaders request(
        "k", HeaderCollection{{"x-oss-date", "Mon, 01 Jan 2024 00:00:00 GMT"}});
    const auto http = PrepareHttpRequest(f.Context(), kHost, request, HttpMethod::Get);
    EXPECT_EQ(http->getHeader("Date"), "Mon, 01 Jan 2024 00:00:00 GMT");
    EXPECT_EQ(f.clockCalls, 0);
}

TEST(PrepareHttpRequest, DateIncludesClockSkewCorrection) {
    Fixture f;
    f.offset = -86400;
    const GetObjectRequest request("rxpublish", "k");
    const auto http = PrepareHttpRequest(f.Context(), kHost, request, HttpMethod::Get);
    EXPECT_EQ(http->getHeader("Date"), "Mon, 13 Nov 2023 22:13:20 GMT");
}

TEST(PrepareHttpRequest, Crc64CheckNeedsFlagAndSettings) {
    Fixture f;
    const GetObjectRequest download("rxpublish", "k");
    EXPECT_TRUE(PrepareHttpRequest(f.Context(), kHost, download, HttpMethod::Get)->checkCrc64());
    f.settings.crc64Checking = false;
    EXPECT_FALSE(PrepareHttpRequest(f.Context(), kHost, download, HttpMethod::Get)->checkCrc64());
}

TEST(PrepareHttpRequest, GivenUrlIsUsedUnsigned) {
    Fixture f;
    GetObjectRequest request("rxpublish", "k");
    request.setFlags(request.flags() | FlagUseGivenUrl);
    request.setGivenUrl("http://signed.example.com/k?Signature=abc");
    const auto http = PrepareHttpRequest(f.Context(), kHost, request, HttpMethod::Get);
    EXPECT_EQ(http->url().toString(), "http://signed.example.com/k?Signature=abc");
    EXPECT_FALSE(http->hasHeader("Authorization"));
}

TEST(PrepareHttpRequest, CopiesCallablesOfTheRequest) {
    Fixture f;
    GetObjectRequest request("rxpublish", "k");
    auto target = std::make_shared<std::stringstream>();
    request.SetResponseStreamFactory([target] { return target; });
    int userData = 0;
    request.SetTransferProgress({[](uint64_t, int64_t, int64_t, void*) {}, &userData});
    const auto http = PrepareHttpRequest(f.Context(), kHost, request, HttpMethod::Get);
    EXPECT_EQ(http->responseStreamFactory()(), target);
    EXPECT_TRUE(http->transferProgress().handler);
    EXPECT_EQ(http->transferProgress().userData, &userData);
}

TEST(PrepareHttpRequest, DefaultResponseStreamIsNewEachTime) {
    const GetObjectRequest request("rxpublish", "k");
    const auto first = request.responseStreamFactory()();
    const auto second = request.responseStreamFactory()();
    ASSERT_NE(first, nullptr);
    EXPECT_NE(first, second);
    *first << "x";
    EXPECT_EQ(second->tellp(), 0);
}

TEST(PrepareHttpRequest, DebugLogShowsHostPathAndSignature) {
    testsupport::SetEnvironmentValue("OSS_SDK_LOG_LEVEL", " Debug ");
    InitializeSdk();
    Fixture f;
    const GetObjectRequest request("rxpublish", "pkg/summary.ini");
    ::testing::internal::CaptureStderr();
    PrepareHttpRequest(f.Context(), kHost, request, HttpMethod::Get);
    const std::string log = ::testing::internal::GetCapturedStderr();
    ShutdownSdk();
    testsupport::SetEnvironmentValue("OSS_SDK_LOG_LEVEL", nullptr);
    EXPECT_NE(log.find("[DEBUG][OssClientImpl]"), std::string::npos);
    EXPECT_NE(log.find("CanonicalString:GET\n"), std::string::npos);
    EXPECT_NE(log.find("Authorization:OSS test-id:I5t+QHikFwcqPqo8T/+x8lePAws=\n"),
              std::string::npos);
    EXPECT_NE(log.find("host:http://rxpublish.oss-test.example.net, path:/pkg%2Fsummary.ini\n"),
              std::string::npos);
}

TEST(PrepareHttpRequest, InfoLevelWritesNoDebugRecords) {
    testsupport::SetEnvironmentValue("OSS_SDK_LOG_LEVEL", "info");
    InitializeSdk();
    Fixture f;
    const GetObjectRequest request("rxpublish", "k");
    ::testing::internal::CaptureStderr();
    PrepareHttpRequest(f.Context(), kHost, request, HttpMethod::Get);
    const std::string log = ::testing::internal::GetCapturedStderr();
    ShutdownSdk();
    testsupport::SetEnvironmentValue("OSS_SDK_LOG_LEVEL", nullptr);
    EXPECT_EQ(log, "");
}

}  // namespace
}  // namespace oss
