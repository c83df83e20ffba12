#include "oss/canonical_string.h"

#include "text_helpers.h"

namespace oss {

const std::set<std::string>& SignedSubresources() {
    static const std::set<std::string> names = {
        "acl",
        "location",
        "bucketInfo",
        "stat",
        "referer",
        "cors",
        "website",
        "restore",
        "logging",
        "symlink",
        "qos",
        "uploadId",
        "uploads",
        "partNumber",
        "response-content-type",
        "response-content-language",
        "response-expires",
        "response-cache-control",
        "response-content-disposition",
        "response-content-encoding",
        "append",
        "position",
        "lifecycle",
        "delete",
        "live",
        "status",
        "comp",
        "vod",
        "startTime",
        "endTime",
        "x-oss-process",
        "security-token",
        "objectMeta",
        "callback",
        "callback-var",
        "tagging",
        "policy",
        "requestPayment",
        "x-oss-traffic-limit",
        "encryption",
        "qosInfo",
        "versioning",
        "versionId",
        "versions",
        "x-oss-request-payer",
        "sequential",
        "inventory",
        "inventoryId",
        "continuation-token",
        "worm",
        "wormId",
        "wormExtend",
    };
    return names;
}

const std::string& CanonicalStringBuilder::Build(HttpMethod method, const std::string& resource,
                                                 const std::string& date,
                                                 const HeaderCollection& headers,
                                                 const ParameterCollection& parameters) {
    std::string text;
    text += HttpMethodText(method);
    text += '\n';
    text += HeaderValue(headers, "Content-MD5");
    text += '\n';
    text += HeaderValue(headers, "Content-Type");
    text += '\n';
    text += date;
    text += '\n';
    for (const auto& [name, value] : headers) {
        const std::string canonicalName = LowerAscii(std::string(Trim(name)));
        if (canonicalName.compare(0, 6, "x-oss-") == 0) {
            text += canonicalName;
            text += ':';
            text += Trim(value);
            text += '\n';
        }
    }
    text += resource;

    const auto& signedNames = SignedSubresources();
    char separator = '?';
    for (const auto& [name, value] : parameters) {
        if (signedNames.count(name) == 0) {
            continue;
        }
        text += separator;
        separator = '&';
        text += name;
        if (!value.empty()) {
            text += '=';
            text += value;
        }
    }
    last_ = std::move(text);
    return last_;
}

}  // namespace oss
