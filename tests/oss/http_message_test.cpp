#include "oss/http_message.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace oss {
namespace {

std::vector<std::string> Names(const HeaderCollection& headers) {
    std::vector<std::string> names;
    for (const auto& [name, value] : headers) {
        names.push_back(name);
    }
    return names;
}

TEST(HttpMessage, SetHeaderIgnoresCaseAndKeepsFirstSpelling) {
    HttpRequest request(HttpMethod::Get);
    request.setHeader("Content-Length", "10");
    request.setHeader("content-length", "20");
    EXPECT_EQ(request.getHeaders().size(), 1u);
    EXPECT_EQ(request.getHeaders().begin()->first, "Content-Length");
    EXPECT_EQ(request.getHeader("CONTENT-LENGTH"), "20");
    EXPECT_TRUE(request.hasHeader("content-LENGTH"));
    request.removeHeader("CONTENT-length");
    EXPECT_FALSE(request.hasHeader("Content-Length"));
    EXPECT_EQ(request.getHeader("Content-Length"), "");
}

TEST(HttpMessage, HeadersIterateInCaseInsensitiveOrder) {
    const std::vector<std::vector<std::string>> insertionOrders = {
        {"x-oss-date", "Date", "content-type", "Authorization"},
        {"Authorization", "Content-Type", "Date", "X-OSS-Date"},
        {"Date", "X-Oss-Date", "authorization", "Content-Type"},
    };
    for (const auto& order : insertionOrders) {
        HttpRequest request(HttpMethod::Get);
        for (const auto& name : order) {
            request.setHeader(name, "v");
        }
        const auto names = Names(request.getHeaders());
        ASSERT_EQ(names.size(), 4u);
        EXPECT_STRCASEEQ(names[0].c_str(), "Authorization");
        EXPECT_STRCASEEQ(names[1].c_str(), "Content-Type");
        EXPECT_STRCASEEQ(names[2].c_str(), "Date");
        EXPECT_STRCASEEQ(names[3].c_str(), "x-oss-date");
    }
}

TEST(HttpMessage, ComparesLowerCasedBytesAndPrefixSortsFirst) {
    HeaderCollection headers;
    headers["x-oss-meta-ab"] = "";
    headers["X-OSS-META-A"] = "";
    // '_' sorts before the letters once lower-cased; upper-cased it would sort after them.
    headers["x-oss-meta-a_"] = "";
    EXPECT_EQ(Names(headers),
              (std::vector<std::string>{"X-OSS-META-A", "x-oss-meta-a_", "x-oss-meta-ab"}));
}

TEST(HttpResponse, NullStatusTextClearsMessage) {
    HttpResponse response(std::make_shared<HttpRequest>(HttpMethod::Get));
    response.setStatusMessage("timeout");
    response.setStatusMessage(static_cast<const char*>(nullptr));
    EXPECT_EQ(response.statusMessage(), "");
}

}  // namespace
}  // namespace oss
