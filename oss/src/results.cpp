#include "oss/results.h"

#include <cstdlib>
#include <cstring>

namespace oss {

namespace {

constexpr char kUserMetaPrefix[] = "x-oss-meta-";

}  // namespace

std::string TrimQuotes(const std::string& text) {
    const size_t first = text.find_first_not_of('"');
    if (first == std::string::npos) {
        return std::string();
    }
    return text.substr(first, text.find_last_not_of('"') - first + 1);
}

ObjectMetadata::ObjectMetadata(const HeaderCollection& headers) {
    const size_t prefixLength = std::strlen(kUserMetaPrefix);
    for (const auto& [name, value] : headers) {
        if (name.compare(0, prefixLength, kUserMetaPrefix) == 0) {
            userMetadata_[name.substr(prefixLength)] = value;
        } else {
            systemMetadata_[name] = value;
        }
    }
    const auto etag = systemMetadata_.find("ETag");
    if (etag != systemMetadata_.end()) {
        etag->second = TrimQuotes(etag->second);
    }
}

std::string ObjectMetadata::system(const std::string& name) const {
    return HeaderValue(systemMetadata_, name);
}

int64_t ObjectMetadata::contentLength() const {
    const auto it = systemMetadata_.find("Content-Length");
    return it != systemMetadata_.end() ? std::strtoll(it->second.c_str(), nullptr, 10) : -1;
}

OssResult::OssResult(const HeaderCollection& headers)
    : requestId_(HeaderValue(headers, "x-oss-request-id")) {}

OssObjectResult::OssObjectResult(const HeaderCollection& headers)
    : OssResult(headers), versionId_(HeaderValue(headers, "x-oss-version-id")) {}

GetObjectResult::GetObjectResult(const std::string& bucket, const std::string& key,
                                 const std::shared_ptr<std::iostream>& content,
                                 const HeaderCollection& headers)
    : OssObjectResult(headers), bucket_(bucket), key_(key), metadata_(headers), content_(content) {
    HeaderCollection& system = metadata_.systemMetadata();
    if (system.find("ETag") == system.end()) {
        system["ETag"] = "";
    }
}

}  // namespace oss
