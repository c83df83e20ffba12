// What a successful request gives back.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>

#include "oss/header_collection.h"
#include "oss/object_metadata.h"

namespace oss {

// The generic success value of one request.
class ServiceResult {
  public:
    virtual ~ServiceResult() = default;

    std::string requestId;
    std::shared_ptr<std::iostream> payload;  // the response body
    HeaderCollection headers;
    int32_t statusCode = 0;
};

class OssResult {
  public:
    OssResult() = default;
    // requestId from "x-oss-request-id".
    explicit OssResult(const HeaderCollection& headers);
    virtual ~OssResult() = default;

    const std::string& requestId() const { return requestId_; }

  private:
    std::string requestId_;
};

class OssObjectResult : public OssResult {
  public:
    OssObjectResult() = default;
    // Also versionId from "x-oss-version-id".
    explicit OssObjectResult(const HeaderCollection& headers);

    const std::string& versionId() const { return versionId_; }

  private:
    std::string versionId_;
};

class GetObjectResult : public OssObjectResult {
  public:
    GetObjectResult() = default;
    // content is the stream that received the body: the one the request's stream factory made,
    // or an empty in-memory stream when no body bytes arrived. The metadata always holds an
    // ETag entry, "" when the answer had none.
    GetObjectResult(const std::string& bucket, const std::string& key,
                    const std::shared_ptr<std::iostream>& content, const HeaderCollection& headers);

    const std::string& bucket() const { return bucket_; }
    const std::string& key() const { return key_; }
    const ObjectMetadata& metadata() const { return metadata_; }
    const std::shared_ptr<std::iostream>& content() const { return content_; }

  private:
    std::string bucket_;
    std::string key_;
    ObjectMetadata metadata_;
    std::shared_ptr<std::iostream> content_;
};

}  // namespace oss
