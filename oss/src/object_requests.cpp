#include "oss/object_requests.h"

#include <string>

#include "oss/model_error.h"

namespace oss {

namespace {

std::string JoinWithCommas(const std::vector<std::string>& values) {
    std::string text;
    for (const auto& value : values) {
        if (!text.empty()) {
            text += ',';
        }
        text += value;
    }
    return text;
}

}  // namespace

ParameterCollection GetObjectMetaRequest::ExtraParameters() const {
    ParameterCollection parameters = OssObjectRequest::ExtraParameters();
    parameters["objectMeta"] = "";
    return parameters;
}

GetObjectRequest::GetObjectRequest(const std::string& bucket, const std::string& key)
    : OssObjectRequest(bucket, key) {
    setFlags(flags() | FlagCheckCrc64);
}

void GetObjectRequest::setRange(int64_t start, int64_t end) {
    rangeStart_ = start;
    rangeEnd_ = end;
    hasRange_ = true;
}

int GetObjectRequest::CheckArguments() const {
    const int code = OssObjectRequest::CheckArguments();
    if (code != 0 || !hasRange_) {
        return code;
    }
    if (rangeStart_ < 0 || rangeEnd_ < -1 || (rangeEnd_ >= 0 && rangeEnd_ < rangeStart_)) {
        return ModelErrorRange;
    }
    return 0;
}

HeaderCollection GetObjectRequest::ExtraHeaders() const {
    HeaderCollection headers = OssObjectRequest::ExtraHeaders();
    if (hasRange_) {
        std::string range = "bytes=" + std::to_string(rangeStart_) + "-";
        if (rangeEnd_ != -1) {
            range += std::to_string(rangeEnd_);
        }
        headers["Range"] = range;
    }
    if (!ifModifiedSince_.empty()) {
        headers["If-Modified-Since"] = ifModifiedSince_;
    }
    if (!ifUnmodifiedSince_.empty()) {
        headers["If-Unmodified-Since"] = ifUnmodifiedSince_;
    }
    if (!ifMatchETags_.empty()) {
        headers["If-Match"] = JoinWithCommas(ifMatchETags_);
    }
    if (!ifNoneMatchETags_.empty()) {
        headers["If-None-Match"] = JoinWithCommas(ifNoneMatchETags_);
    }
    if (trafficLimit_ != 0) {
        headers["x-oss-traffic-limit"] = std::to_string(trafficLimit_);
    }
    if (standardRangeBehavior_ && hasRange_) {
        headers["x-oss-range-behavior"] = "standard";
    }
    return headers;
}

ParameterCollection GetObjectRequest::ExtraParameters() const {
    ParameterCollection parameters = OssObjectRequest::ExtraParameters();
    for (const auto& [name, value] : responseOverrides_) {
        parameters[name] = value;
    }
    if (!processSpec_.empty()) {
        parameters["x-oss-process"] = processSpec_;
    }
    return parameters;
}

}  // namespace oss
