// The two requests the installer sends: download an object, and ask for its metadata.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "oss/service_request.h"

namespace oss {

// HEAD ?objectMeta: the object's metadata, used as the existence test.
class GetObjectMetaRequest : public OssObjectRequest {
  public:
    using OssObjectRequest::OssObjectRequest;

  protected:
    ParameterCollection ExtraParameters() const override;
};

// GET of an object, optionally ranged or conditional. Its body's CRC-64 is checked.
class GetObjectRequest : public OssObjectRequest {
  public:
    GetObjectRequest(const std::string& bucket, const std::string& key);

    // Also 101045 for a range that starts below 0, ends below -1 or ends before it starts.
    int CheckArguments() const override;

    // Bytes start..end inclusive; end -1 means to the end of the object.
    void setRange(int64_t start, int64_t end);
    bool hasRange() const { return hasRange_; }
    int64_t rangeStart() const { return rangeStart_; }
    int64_t rangeEnd() const { return rangeEnd_; }

    void setIfModifiedSince(const std::string& date) { ifModifiedSince_ = date; }
    void setIfUnmodifiedSince(const std::string& date) { ifUnmodifiedSince_ = date; }
    void setIfMatchETags(const std::vector<std::string>& etags) { ifMatchETags_ = etags; }
    void setIfNoneMatchETags(const std::vector<std::string>& etags) { ifNoneMatchETags_ = etags; }
    void setProcess(const std::string& process) { processSpec_ = process; }
    void setResponseOverrides(const ParameterCollection& overrides) {
        responseOverrides_ = overrides;
    }
    void setTrafficLimit(uint64_t bitsPerSecond) { trafficLimit_ = bitsPerSecond; }
    void setStandardRangeBehavior(bool standard) { standardRangeBehavior_ = standard; }

  protected:
    HeaderCollection ExtraHeaders() const override;
    ParameterCollection ExtraParameters() const override;

  private:
    int64_t rangeStart_ = 0;
    int64_t rangeEnd_ = -1;
    bool hasRange_ = false;
    std::string ifModifiedSince_;
    std::string ifUnmodifiedSince_;
    std::vector<std::string> ifMatchETags_;
    std::vector<std::string> ifNoneMatchETags_;
    std::string processSpec_;
    ParameterCollection responseOverrides_;
    uint64_t trafficLimit_ = 0;
    bool standardRangeBehavior_ = false;
};

}  // namespace oss
