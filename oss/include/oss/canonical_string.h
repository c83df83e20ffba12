// The string a request signature is computed over.
#pragma once

#include <set>
#include <string>

#include "oss/header_collection.h"
#include "oss/http_types.h"
#include "oss/service_request.h"

namespace oss {

// Query names that take part in the signature (exact, case-sensitive).
const std::set<std::string>& SignedSubresources();

class CanonicalStringBuilder {
  public:
    explicit CanonicalStringBuilder(const std::string& signerVersion = "1.0")
        : signerVersion_(signerVersion) {}

    // Method, Content-MD5, Content-Type and date lines, the x-oss- headers (name lower-cased,
    // name and value trimmed) in header order, then the resource and the signed parameters,
    // neither encoded.
    const std::string& Build(HttpMethod method, const std::string& resource,
                             const std::string& date, const HeaderCollection& headers,
                             const ParameterCollection& parameters);

    const std::string& signerVersion() const { return signerVersion_; }
    const std::string& lastString() const { return last_; }

  private:
    std::string signerVersion_;
    std::string last_;
};

}  // namespace oss
