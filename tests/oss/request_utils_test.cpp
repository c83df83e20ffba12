#include "oss/request_utils.h"

#include <gtest/gtest.h>

#include <clocale>
#include <fstream>
#include <sstream>
#include <string>

namespace oss {
namespace {

TEST(PercentEncode, KeepsUnreservedAndEncodesEverythingElse) {
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},
        {"AZaz09-._~", "AZaz09-._~"},
        {"pkg/summary.ini", "pkg%2Fsummary.ini"},
        {"a b+c", "a%20b%2Bc"},
        {"100%", "100%25"},
        {"\xE4\xB8\xAD", "%E4%B8%AD"},
        {std::string("\0\x7F\xFF", 3), "%00%7F%FF"},
    };
    for (const auto& [text, encoded] : cases) {
        EXPECT_EQ(PercentEncode(text), encoded) << text;
    }
}

TEST(GmtDateString, FormatsUtcWithEnglishNamesInAnyLocale) {
    const std::pair<int64_t, const char*> cases[] = {
        {0, "Thu, 01 Jan 1970 00:00:00 GMT"},
        {1700000000, "Tue, 14 Nov 2023 22:13:20 GMT"},
        {951782400, "Tue, 29 Feb 2000 00:00:00 GMT"},
        {4102444799, "Thu, 31 Dec 2099 23:59:59 GMT"},
    };
    std::setlocale(LC_TIME, "");  // whatever the machine's locale is must not matter
    for (const auto& [seconds, text] : cases) {
        EXPECT_EQ(GmtDateString(seconds), text);
    }
    std::setlocale(LC_TIME, "C");
}

TEST(BucketHost, PlacesBucketByEndpointKind) {
    struct Case {
        const char* endpoint;
        const char* bucket;
        bool cname;
        const char* host;
    };
    const Case cases[] = {
        {"oss.example.net", "rxpublish", false, "http://rxpublish.oss.example.net"},
        {"HTTPS://OSS.Example.net/ignored", "rxpublish", false,
         "https://rxpublish.oss.example.net"},
        {"oss.example.net:8080", "b1", false, "http://b1.oss.example.net:8080"},
        {"127.0.0.1:9095", "rxpublish", false, "http://127.0.0.1:9095"},
        {"downloads.example.org", "rxpublish", true, "http://downloads.example.org"},
        {"oss.example.net", "", false, "http://oss.example.net"},
        // Not a dotted quad, so treated as a name.
        {"1.2.3.256", "b1", false, "http://b1.1.2.3.256"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(BucketHost(c.endpoint, c.bucket, c.cname), c.host) << c.endpoint;
    }
}

TEST(ObjectPath, PutsBucketInPathOnlyForIpv4Endpoints) {
    EXPECT_EQ(ObjectPath("oss.example.net", "rxpublish", "pkg/a b.zip"), "/pkg%2Fa%20b.zip");
    EXPECT_EQ(ObjectPath("127.0.0.1:9095", "rxpublish", "pkg/x"), "/rxpublish/pkg%2Fx");
    EXPECT_EQ(ObjectPath("http://10.0.0.1", "rxpublish", ""), "/rxpublish/");
    EXPECT_EQ(ObjectPath("127.0.0.1", "", "k"), "/k");
}

TEST(IsIpv4Host, AcceptsOnlyCanonicalDottedQuads) {
    const std::pair<const char*, bool> cases[] = {
        {"127.0.0.1", true},
        {"0.0.0.0", true},
        {"255.255.255.255", true},
        {"192.168.10.200", true},
        {"256.1.1.1", false},
        {"01.2.3.4", false},
        {"1.2.3", false},
        {"1.2.3.4.5", false},
        {"1.2.3.4 ", false},
        {"a.b.c.d", false},
        {"", false},
        {"oss.example.net", false},
        {"249.250.251.199", true},
        {"1.2.3.04", false},
        {"1.2.3.4.", false},
        {".1.2.3", false},
        {"1..2.3", false},
        {"1234.1.1.1", false},
        {"300.1.1.1", false},
        {"10.0.0.1:80", false},
    };
    for (const auto& [host, expected] : cases) {
        EXPECT_EQ(IsIpv4Host(host), expected) << host;
    }
}

TEST(BucketNameIsValid, AcceptsThreeToSixtyThreeLowerCaseCharacters) {
    const std::pair<std::string, bool> cases[] = {
        {"rxpublish", true},
        {"a-1", true},
        {"ab", false},
        {"", false},
        {"-abc", false},
        {"abc-", false},
        {"Abc", false},
        {"a_b", false},
        {std::string(63, 'a'), true},
        {std::string(64, 'a'), false},
        {"a.b", false},
        {"a--b", true},
    };
    for (const auto& [name, expected] : cases) {
        EXPECT_EQ(BucketNameIsValid(name), expected) << name;
    }
}

TEST(ObjectKeyIsValid, AcceptsOneTo1023BytesNotStartingWithSlash) {
    const std::pair<std::string, bool> cases[] = {
        {"a", true},
        {"pkg/summary.ini", true},
        {std::string(1023, 'k'), true},
        {std::string(1024, 'k'), false},
        {"", false},
        {"/abs", false},
        {"\\abs", false},
        {"a\\b", true},
    };
    for (const auto& [key, expected] : cases) {
        EXPECT_EQ(ObjectKeyIsValid(key), expected) << key.substr(0, 20);
    }
}

TEST(ContentMd5Of, HashesWholeStreamAndRestoresPosition) {
    EXPECT_EQ(
        [] {
            std::stringstream empty;
            return ContentMd5Of(empty);
        }(),
        "1B2M2Y8AsgTpgAmY7PhCfg==");

    std::string data;
    for (int i = 0; i < 20; ++i) {
        for (int b = 0; b < 256; ++b) {
            data += static_cast<char>(b);
        }
    }
    std::stringstream stream(data);
    stream.seekg(1000);
    EXPECT_EQ(ContentMd5Of(stream), "zfQqpA3V1StQTooGgTa5BQ==");
    EXPECT_EQ(stream.tellg(), 1000);
    EXPECT_TRUE(stream.good());
}

TEST(ContentMd5Of, FailedStreamIsHashedFromStart) {
    std::stringstream stream("hello");
    stream.setstate(std::ios_base::failbit);
    EXPECT_EQ(ContentMd5Of(stream), "XUFAKrxLKna5cZ2REBfFkg==");
    EXPECT_EQ(stream.tellg(), 0);
}

TEST(StreamLengthOf, MeasuresToEndAndRestoresPosition) {
    std::stringstream stream("0123456789");
    stream.seekg(4);
    EXPECT_EQ(StreamLengthOf(stream), 10);
    EXPECT_EQ(stream.tellg(), 4);

    std::stringstream empty;
    EXPECT_EQ(StreamLengthOf(empty), 0);
}

TEST(StreamLengthOf, UnseekableStreamReportsMinusOne) {
    std::ifstream closed;  // no file: every seek fails
    EXPECT_EQ(StreamLengthOf(closed), -1);
}

}  // namespace
}  // namespace oss
