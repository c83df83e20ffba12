// Turning failed attempts into caller-visible errors, and reading the service's clock.
#include <gtest/gtest.h>

#include "oss/service_error.h"

using namespace oss;

namespace {

AttemptError Attempt(int32_t status, const std::string& message,
                     const std::string& requestId = "") {
    AttemptError error;
    error.status = status;
    error.code = "ServerError:" + std::to_string(status);
    error.message = message;
    if (!requestId.empty()) {
        error.headers["x-oss-request-id"] = requestId;
    }
    return error;
}

}  // namespace

TEST(MakeServiceError, ReadsTheServiceErrorDocument) {
    const ServiceError error = MakeServiceError(
        Attempt(404,
                "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Error>\n  <Code>NoSuchKey</Code>\n"
                "  <Message>The key &amp; more</Message>\n  <RequestId>R1</RequestId>\n"
                "  <HostId>h.example</HostId>\n</Error>\n",
                "FROM-HEADER"));
    EXPECT_EQ(error.code, "NoSuchKey");
    EXPECT_EQ(error.message, "The key & more");
    EXPECT_EQ(error.requestId, "R1");
    EXPECT_EQ(error.hostId, "h.example");
}

TEST(MakeServiceError, MissingElementsAreEmptyAndTheRequestIdFallsBackToTheHeader) {
    const ServiceError error = MakeServiceError(
        Attempt(403, "<ErrorResponse><Code>X</Code><Message/></ErrorResponse>", "FROM-HEADER"));
    EXPECT_EQ(error.code, "X");
    EXPECT_EQ(error.message, "");
    EXPECT_EQ(error.requestId, "FROM-HEADER");
    EXPECT_EQ(error.hostId, "");
}

TEST(MakeServiceError, BodiesThatAreNotErrorDocuments) {
    const ServiceError text = MakeServiceError(Attempt(502, "Bad Gateway <b>from proxy", "ID"));
    EXPECT_EQ(text.code.rfind("ParseXMLError:", 0), 0u);
    EXPECT_NE(text.code, "ParseXMLError:0");
    EXPECT_EQ(text.message.rfind("XML_ERROR_", 0), 0u) << text.message;
    EXPECT_EQ(text.requestId, "ID");

    const ServiceError html = MakeServiceError(Attempt(500, "<html><p>oops</p></html>"));
    EXPECT_EQ(html.code, "ParseXMLError");
    EXPECT_EQ(html.message,
              "Xml format invalid, root node name is not Error. the content is:\n"
              "<html><p>oops</p></html>");
}

TEST(MakeServiceError, WithoutBodyOrOutsideServerStatusesTheAttemptIsCopied) {
    const ServiceError head = MakeServiceError(Attempt(404, "", "ID"));
    EXPECT_EQ(head.code, "ServerError:404");
    EXPECT_EQ(head.message, "");
    EXPECT_EQ(head.requestId, "ID");

    AttemptError timeout;
    timeout.status = 200028;
    timeout.code = "ClientError:200028";
    timeout.message = "<Error><Code>NotParsed</Code></Error>";
    const ServiceError client = MakeServiceError(timeout);
    EXPECT_EQ(client.code, "ClientError:200028");
    EXPECT_EQ(client.message, timeout.message);
}

// The client reads the body as an error document exactly where MakeServiceError parses one.
TEST(IsServerErrorStatus, AFailedCallbackAndEveryStatusFrom300To599) {
    for (const int32_t status : {203, 300, 304, 404, 599}) {
        EXPECT_TRUE(IsServerErrorStatus(status)) << status;
    }
    for (const int32_t status : {0, 200, 204, 299, 600, 100001, 200028}) {
        EXPECT_FALSE(IsServerErrorStatus(status)) << status;
    }
}

TEST(UtcToEpochSeconds, ReadsServiceTimesAndRefusesOthers) {
    EXPECT_EQ(UtcToEpochSeconds("2020-01-01T00:00:00.000Z"), 1577836800);
    EXPECT_EQ(UtcToEpochSeconds("1970-01-01T00:00:01.5Z"), 1);
    EXPECT_EQ(UtcToEpochSeconds("2024-02-29T23:59:59.999Z"), 1709251199);
    for (const char* bad :
         {"", "2020-01-01T00:00:00Z", "2020-01-01 00:00:00.000Z", "2020-13-01T00:00:00.000Z",
          "2020-01-01T24:00:00.000Z", "Wed, 01 Jan 2020 00:00:00 GMT"}) {
        EXPECT_EQ(UtcToEpochSeconds(bad), -1) << bad;
    }
}

TEST(ServerTimeOfSkewError, NeedsAnErrorRootWithAServerTime) {
    EXPECT_EQ(ServerTimeOfSkewError("<Error><Code>RequestTimeTooSkewed</Code>"
                                    "<ServerTime>2020-01-01T00:00:00.000Z</ServerTime></Error>"),
              1577836800);
    EXPECT_EQ(ServerTimeOfSkewError("<Error><Code>RequestTimeTooSkewed</Code></Error>"), -1);
    EXPECT_EQ(ServerTimeOfSkewError("<Other><ServerTime>2020-01-01T00:00:00.000Z</ServerTime>"
                                    "</Other>"),
              -1);
    EXPECT_EQ(ServerTimeOfSkewError("RequestTimeTooSkewed"), -1);
}
