#include "oss/service_request.h"

#include <cstdint>

#include "memory_stream.h"
#include "oss/model_error.h"
#include "oss/request_utils.h"

namespace oss {

namespace {

constexpr char kArgumentInvalid[] = "Argument is invalid, please check.";
constexpr char kBucketNameInvalid[] =
    "The bucket name is invalid. A bucket name must  be comprised of lower-case characters, "
    "numbers or dash(-) with 3-63 characters long.";
constexpr char kObjectKeyInvalid[] =
    "The object key is invalid. An object name should be between 1-1023 bytes long and cannot "
    "begin with '/' or '\\'";
constexpr char kRangeInvalid[] =
    "The range is invalid. The start should not be less than 0 or less then the end. The end "
    "could be -1 to get the rest of the data.";

}  // namespace

ServiceRequest::ServiceRequest() : responseStreamFactory_(NewMemoryStream) {}

HeaderCollection OssRequest::BuildHeaders() const {
    HeaderCollection headers = ExtraHeaders();
    if (headers.count("Content-Type") == 0) {
        headers["Content-Type"] = "application/xml";
    }
    return headers;
}

std::shared_ptr<std::iostream> OssRequest::BuildBody() const {
    const std::string text = BodyText();
    if (text.empty()) {
        return nullptr;
    }
    auto stream = NewMemoryStream();
    stream->write(text.data(), static_cast<std::streamsize>(text.size()));
    return stream;
}

int OssObjectRequest::CheckArguments() const {
    if (!BucketNameIsValid(bucket())) {
        return ModelErrorBucketName;
    }
    if (!ObjectKeyIsValid(key())) {
        return ModelErrorObjectKey;
    }
    return 0;
}

HeaderCollection OssObjectRequest::ExtraHeaders() const {
    HeaderCollection headers;
    if (requestPayer_ == RequestPayer::Requester) {
        headers["x-oss-request-payer"] = "requester";
    }
    return headers;
}

ParameterCollection OssObjectRequest::ExtraParameters() const {
    ParameterCollection parameters;
    if (!versionId_.empty()) {
        parameters["versionId"] = versionId_;
    }
    return parameters;
}

std::string ModelErrorMessage(int code) {
    switch (code) {
        case ModelErrorBucketName:
            return kBucketNameInvalid;
        case ModelErrorObjectKey:
            return kObjectKeyInvalid;
        case ModelErrorRange:
            return kRangeInvalid;
        default:
            break;
    }
    const int64_t offset = static_cast<int64_t>(code) - 101000;
    if (offset >= 0 && offset <= 999) {
        return kArgumentInvalid;
    }
    return "Model error, but undefined.";
}

}  // namespace oss
