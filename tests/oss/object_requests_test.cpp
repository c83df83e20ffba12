#include "oss/object_requests.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "oss/model_error.h"

namespace oss {
namespace {

TEST(ObjectRequests, CheckArgumentsReportsFirstBadField) {
    struct Case {
        std::string bucket;
        std::string key;
        std::function<void(GetObjectRequest&)> setup;
        int code;
    };
    const auto none = [](GetObjectRequest&) {};
    const Case cases[] = {
        {"rxpublish", "pkg/summary.ini", none, 0},
        {"rx", "k", none, ModelErrorBucketName},
        {"rx", "", none, ModelErrorBucketName},
        {"rxpublish", "", none, ModelErrorObjectKey},
        {"rxpublish", std::string(1024, 'k'), none, ModelErrorObjectKey},
        {"rxpublish", "\\k", none, ModelErrorObjectKey},
        {"rxpublish", "/k", none, ModelErrorObjectKey},
        {"rxpublish", "k", [](GetObjectRequest& r) { r.setRange(100, -1); }, 0},
        {"rxpublish", "k", [](GetObjectRequest& r) { r.setRange(100, 100); }, 0},
        {"rxpublish", "k", [](GetObjectRequest& r) { r.setRange(100, 50); }, ModelErrorRange},
        {"rxpublish", "k", [](GetObjectRequest& r) { r.setRange(-1, 5); }, ModelErrorRange},
        {"rxpublish", "k", [](GetObjectRequest& r) { r.setRange(0, -2); }, ModelErrorRange},
        {"x", "", [](GetObjectRequest& r) { r.setRange(5, 1); }, ModelErrorBucketName},
    };
    for (const auto& c : cases) {
        GetObjectRequest request(c.bucket, c.key);
        c.setup(request);
        EXPECT_EQ(request.CheckArguments(), c.code) << c.bucket << " / " << c.key.substr(0, 10);
    }
    EXPECT_EQ(GetObjectMetaRequest("ab", "k").CheckArguments(), ModelErrorBucketName);
}

TEST(ObjectRequests, DownloadHeadersAndParametersFollowItsFields) {
    GetObjectRequest request("rxpublish", "k");
    EXPECT_EQ(request.BuildHeaders(), (HeaderCollection{{"Content-Type", "application/xml"}}));
    EXPECT_TRUE(request.BuildParameters().empty());
    EXPECT_EQ(request.BuildBody(), nullptr);
    EXPECT_EQ(request.flags(), FlagCheckCrc64);

    request.setStandardRangeBehavior(true);
    EXPECT_EQ(request.BuildHeaders().count("x-oss-range-behavior"), 0u);

    request.setRange(100, -1);
    request.setIfModifiedSince("Mon, 01 Jan 2024 00:00:00 GMT");
    request.setIfMatchETags({"a", "b"});
    request.setIfNoneMatchETags({"c"});
    request.setTrafficLimit(819200);
    request.setRequestPayer(RequestPayer::Requester);
    request.setVersionId("v1");
    request.setProcess("image/resize");
    request.setResponseOverrides({{"response-expires", "0"}, {"x-oss-process", "overridden"}});

    const HeaderCollection headers = request.BuildHeaders();
    EXPECT_EQ(headers, (HeaderCollection{
                           {"Content-Type", "application/xml"},
                           {"If-Match", "a,b"},
                           {"If-Modified-Since", "Mon, 01 Jan 2024 00:00:00 GMT"},
                           {"If-None-Match", "c"},
                           {"Range", "bytes=100-"},
                           {"x-oss-range-behavior", "standard"},
                           {"x-oss-request-payer", "requester"},
                           {"x-oss-traffic-limit", "819200"},
                       }));
    EXPECT_EQ(request.BuildParameters(), (ParameterCollection{{"response-expires", "0"},
                                                              {"versionId", "v1"},
                                                              {"x-oss-process", "image/resize"}}));

    request.setRange(0, 1023);
    EXPECT_EQ(request.BuildHeaders().at("range"), "bytes=0-1023");
}

TEST(ObjectRequests, MetaRequestAsksForObjectMetaAndKeepsFlagsClear) {
    GetObjectMetaRequest request("rxpublish", "k");
    EXPECT_EQ(request.flags(), 0u);
    EXPECT_EQ(request.BuildParameters(), (ParameterCollection{{"objectMeta", ""}}));
    request.setVersionId("9");
    EXPECT_EQ(request.BuildParameters(),
              (ParameterCollection{{"objectMeta", ""}, {"versionId", "9"}}));
}

TEST(ModelErrorMessage, TextsByCode) {
    EXPECT_EQ(ModelErrorMessage(101001),
              "The bucket name is invalid. A bucket name must  be comprised of lower-case "
              "characters, numbers or dash(-) with 3-63 characters long.");
    EXPECT_EQ(ModelErrorMessage(101002),
              "The object key is invalid. An object name should be between 1-1023 bytes long and "
              "cannot begin with '/' or '\\'");
    EXPECT_EQ(ModelErrorMessage(101045),
              "The range is invalid. The start should not be less than 0 or less then the end. "
              "The end could be -1 to get the rest of the data.");
    for (int code : {101000, 101069, 101070, 101999}) {
        EXPECT_EQ(ModelErrorMessage(code), "Argument is invalid, please check.") << code;
    }
    for (int code : {100999, 102000, 0, -101000}) {
        EXPECT_EQ(ModelErrorMessage(code), "Model error, but undefined.") << code;
    }
}

}  // namespace
}  // namespace oss
