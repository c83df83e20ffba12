// Turns a storage request into a signed HttpRequest for one attempt.
#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>

#include "oss/client_settings.h"
#include "oss/credentials.h"
#include "oss/http_message.h"
#include "oss/service_request.h"
#include "oss/signer.h"

namespace oss {

// Everything of a client that preparing a request reads. A client builds one per attempt.
struct RequestContext {
    const OssClientSettings& settings;
    int64_t requestDateOffset;  // clock-skew correction in seconds
    CredentialsProvider& credentialsProvider;
    const Signer& signer;
    const void* client = nullptr;  // only shown in debug records
    // Seconds since 1970 (UTC); empty uses the system clock.
    std::function<int64_t()> clock = {};
};

// Headers, body, signature (unless FlagUseGivenUrl) and URL, freshly dated.
std::shared_ptr<HttpRequest> PrepareHttpRequest(const RequestContext& context,
                                                const std::string& endpoint,
                                                const OssRequest& request, HttpMethod method);

// The request's headers, then User-Agent from the settings, then Date (copied from x-oss-date,
// or now plus the offset) unless present.
void ApplyHeaders(const RequestContext& context, HttpRequest& http,
                  const HeaderCollection& headers);

// Content-Length (0 without a body for GET and POST, none for other body-less methods),
// Content-MD5 when asked for, and the body itself.
void ApplyBody(HttpRequest& http, const std::shared_ptr<std::iostream>& body, bool contentMd5);

// Adds the security token if any and "Authorization: OSS id:signature". Returns the string that
// was signed.
std::string SignRequest(const RequestContext& context, HttpRequest& http,
                        const OssRequest& request);

// Bucket host, object path and the percent-encoded query.
void ApplyUrl(const RequestContext& context, HttpRequest& http, const std::string& endpoint,
              const OssRequest& request);

}  // namespace oss
