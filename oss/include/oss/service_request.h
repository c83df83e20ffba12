// The request class family: what a storage request contributes to the HTTP request it becomes.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <map>
#include <memory>
#include <string>

#include "oss/header_collection.h"
#include "oss/transfer.h"

namespace oss {

using RequestFlags = uint32_t;
inline constexpr RequestFlags FlagContentMd5 = 1;         // send Content-MD5 of the body
inline constexpr RequestFlags FlagUseGivenUrl = 2;        // givenUrl is the URL; no signing
inline constexpr RequestFlags FlagCheckCrc64 = 4;         // compare the body's CRC-64
inline constexpr RequestFlags FlagReportClientCrc64 = 8;  // with FlagCheckCrc64: report ours

// Query parameters, ordered by plain byte comparison.
using ParameterCollection = std::map<std::string, std::string>;

class ServiceRequest {
  public:
    virtual ~ServiceRequest() = default;

    virtual HeaderCollection BuildHeaders() const = 0;
    virtual ParameterCollection BuildParameters() const = 0;
    // Null when the request has no body.
    virtual std::shared_ptr<std::iostream> BuildBody() const = 0;

    RequestFlags flags() const { return flags_; }
    void setFlags(RequestFlags flags) { flags_ = flags; }
    const std::string& givenUrl() const { return givenUrl_; }
    void setGivenUrl(const std::string& url) { givenUrl_ = url; }

    // By default every call makes a new, empty in-memory stream.
    const ResponseStreamFactory& responseStreamFactory() const { return responseStreamFactory_; }
    void SetResponseStreamFactory(const ResponseStreamFactory& factory) {
        responseStreamFactory_ = factory;
    }
    const TransferProgress& transferProgress() const { return transferProgress_; }
    void SetTransferProgress(const TransferProgress& progress) { transferProgress_ = progress; }

  protected:
    ServiceRequest();

  private:
    RequestFlags flags_ = 0;
    std::string givenUrl_ = "/";
    ResponseStreamFactory responseStreamFactory_;
    TransferProgress transferProgress_;
};

// A request addressed to a bucket and an object key.
class OssRequest : public ServiceRequest {
  public:
    OssRequest(const std::string& bucket, const std::string& key) : bucket_(bucket), key_(key) {}

    // ExtraHeaders, plus "Content-Type: application/xml" unless one is there.
    HeaderCollection BuildHeaders() const override;
    ParameterCollection BuildParameters() const override { return ExtraParameters(); }
    // An in-memory stream of BodyText, or null when that is empty.
    std::shared_ptr<std::iostream> BuildBody() const override;
    // 0 when the request may be sent, else a model error code (see model_error.h).
    virtual int CheckArguments() const { return 0; }

    const std::string& bucket() const { return bucket_; }
    const std::string& key() const { return key_; }

  protected:
    virtual std::string BodyText() const { return std::string(); }
    virtual HeaderCollection ExtraHeaders() const { return HeaderCollection(); }
    virtual ParameterCollection ExtraParameters() const { return ParameterCollection(); }

  private:
    std::string bucket_;
    std::string key_;
};

enum class RequestPayer { NotSet, BucketOwner, Requester };

// A request for one object: checks bucket and key, adds request payer and version.
class OssObjectRequest : public OssRequest {
  public:
    using OssRequest::OssRequest;

    int CheckArguments() const override;

    RequestPayer requestPayer() const { return requestPayer_; }
    void setRequestPayer(RequestPayer payer) { requestPayer_ = payer; }
    const std::string& versionId() const { return versionId_; }
    void setVersionId(const std::string& versionId) { versionId_ = versionId; }

  protected:
    HeaderCollection ExtraHeaders() const override;
    ParameterCollection ExtraParameters() const override;

  private:
    RequestPayer requestPayer_ = RequestPayer::NotSet;
    std::string versionId_;
};

}  // namespace oss
