#include "oss/prepare_request.h"

#include <chrono>

#include "oss/canonical_string.h"
#include "oss/log.h"
#include "oss/request_utils.h"

namespace oss {

namespace {

constexpr char kLogTag[] = "OssClientImpl";

int64_t Now(const RequestContext& context) {
    if (context.clock) {
        return context.clock();
    }
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

}  // namespace

std::shared_ptr<HttpRequest> PrepareHttpRequest(const RequestContext& context,
                                                const std::string& endpoint,
                                                const OssRequest& request, HttpMethod method) {
    auto http = std::make_shared<HttpRequest>(method);
    http->setResponseStreamFactory(request.responseStreamFactory());
    ApplyHeaders(context, *http, request.BuildHeaders());
    ApplyBody(*http, request.BuildBody(), (request.flags() & FlagContentMd5) != 0);
    if ((request.flags() & FlagUseGivenUrl) != 0) {
        http->setUrl(Url(request.givenUrl()));
    } else {
        SignRequest(context, *http, request);
        ApplyUrl(context, *http, endpoint, request);
    }
    http->setTransferProgress(request.transferProgress());
    if (context.settings.crc64Checking && (request.flags() & FlagCheckCrc64) != 0) {
        http->setCheckCrc64(true);
    }
    return http;
}

void ApplyHeaders(const RequestContext& context, HttpRequest& http,
                  const HeaderCollection& headers) {
    for (const auto& [name, value] : headers) {
        http.setHeader(name, value);
    }
    http.setHeader(Header::UserAgent, context.settings.userAgent);
    if (http.hasHeader("x-oss-date")) {
        http.setHeader(Header::Date, http.getHeader("x-oss-date"));
    }
    if (!http.hasHeader(Header::Date)) {
        http.setHeader(Header::Date, GmtDateString(Now(context) + context.requestDateOffset));
    }
}

void ApplyBody(HttpRequest& http, const std::shared_ptr<std::iostream>& body, bool contentMd5) {
    if (!body) {
        if (http.method() == HttpMethod::Get || http.method() == HttpMethod::Post) {
            http.setHeader(Header::ContentLength, "0");
        } else {
            http.removeHeader(Header::ContentLength);
        }
    } else {
        if (!http.hasHeader(Header::ContentLength)) {
            // A stream that cannot be measured is sent without a length rather than with "-1".
            const int64_t length = StreamLengthOf(*body);
            if (length >= 0) {
                http.setHeader(Header::ContentLength, std::to_string(length));
            }
        }
        if (contentMd5 && !http.hasHeader(Header::ContentMd5)) {
            const std::string md5 = ContentMd5Of(*body);
            if (!md5.empty()) {
                http.setHeader(Header::ContentMd5, md5);
            }
        }
    }
    http.setBody(body);
}

std::string SignRequest(const RequestContext& context, HttpRequest& http,
                        const OssRequest& request) {
    const Credentials credentials = context.credentialsProvider.GetCredentials();
    if (!credentials.securityToken.empty()) {
        http.setHeader("x-oss-security-token", credentials.securityToken);
    }

    const std::string& bucket = request.bucket();
    const std::string& key = request.key();
    std::string resource = "/";
    if (!bucket.empty()) {
        resource += bucket;
        resource += '/';
    }
    resource += key;

    CanonicalStringBuilder builder(context.signer.signerVersion());
    const std::string canonical =
        builder.Build(http.method(), resource, http.getHeader(Header::Date), http.getHeaders(),
                      request.BuildParameters());
    const std::string signature = context.signer.Generate(canonical, credentials.accessKeySecret);
    const std::string authorization = "OSS " + credentials.accessKeyId + ":" + signature;
    http.setHeader(Header::Authorization, authorization);

    if (LogEnabled(SdkLogLevel::Debug)) {
        LogWrite(SdkLogLevel::Debug, kLogTag, "client(%p) request(%p) CanonicalString:%s",
                 context.client, static_cast<const void*>(&http), canonical.c_str());
        LogWrite(SdkLogLevel::Debug, kLogTag, "client(%p) request(%p) Authorization:%s",
                 context.client, static_cast<const void*>(&http), authorization.c_str());
    }
    return canonical;
}

void ApplyUrl(const RequestContext& context, HttpRequest& http, const std::string& endpoint,
              const OssRequest& request) {
    const std::string& bucket = request.bucket();
    const std::string& key = request.key();
    const std::string host = BucketHost(endpoint, bucket, context.settings.endpointIsCname);
    const std::string path = ObjectPath(endpoint, bucket, key);

    Url url(host);
    url.setPath(path);
    if (LogEnabled(SdkLogLevel::Debug)) {
        LogWrite(SdkLogLevel::Debug, kLogTag, "client(%p) request(%p) host:%s, path:%s",
                 context.client, static_cast<const void*>(&http), host.c_str(), path.c_str());
    }

    const ParameterCollection parameters = request.BuildParameters();
    if (!parameters.empty()) {
        std::string query;
        for (const auto& [name, value] : parameters) {
            if (!query.empty()) {
                query += '&';
            }
            query += PercentEncode(name);
            if (!value.empty()) {
                query += '=';
                query += PercentEncode(value);
            }
        }
        url.setQuery(query);
    }
    http.setUrl(url);
}

}  // namespace oss
