// What a storage client and its transport are built from.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "oss/http_types.h"

namespace oss {

class RetryStrategy;
class RateLimiter;
class Executor;
class HttpClient;

// Copied field by field; shared fields share their object.
struct OssClientSettings {
    // Every default: user agent "oss-client-cpp/1.9.0 (Windows)", plain http, 16 connections,
    // 10 s request and 5 s connect timeouts, DefaultRetryStrategy(300 ms, 3 retries).
    OssClientSettings();

    std::string userAgent;
    HttpScheme defaultScheme = HttpScheme::Http;  // kept, not consulted: endpoints default to http
    int32_t maxConnections = 16;
    int32_t requestTimeoutMs = 10000;
    int32_t connectTimeoutMs = 5000;
    // The rate floor: a transfer that moves less than this many bytes per second on average over
    // a whole window ends as a timeout (ClientError:200028), as a stall does, and the retries
    // continue it where it stopped. Defaults 1024 bytes per second over 30 s; 0 turns it off.
    int32_t minTransferRateBytesPerSecond = 1024;
    int32_t minTransferRateWindowMs = 30000;
    std::shared_ptr<RetryStrategy> retryPolicy;
    HttpScheme proxyScheme = HttpScheme::Http;
    std::string proxyHost;  // no proxy when empty
    int32_t proxyPort = 0;
    std::string proxyUser;
    std::string proxyPassword;
    bool verifyTls = true;
    std::string caDirectory;
    std::string caBundleFile;
    bool endpointIsCname = false;  // the endpoint is the bucket's own domain
    bool crc64Checking = true;
    bool adjustClockSkew = true;
    std::shared_ptr<RateLimiter> uploadRateLimiter;
    std::shared_ptr<RateLimiter> downloadRateLimiter;
    std::string bindInterface;
    std::shared_ptr<Executor> executor;      // null: the client makes its own
    std::shared_ptr<HttpClient> httpClient;  // null: the client makes a libcurl transport
};

}  // namespace oss
