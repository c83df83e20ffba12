// An object's metadata, split from the headers of the service's answer.
#pragma once

#include <cstdint>
#include <string>

#include "oss/header_collection.h"

namespace oss {

class ObjectMetadata {
  public:
    ObjectMetadata() = default;
    // Headers named "x-oss-meta-<name>" (prefix in exactly these lower-case bytes) become user
    // metadata <name>; every other header is system metadata, ETag without its quotes.
    explicit ObjectMetadata(const HeaderCollection& headers);

    const HeaderCollection& userMetadata() const { return userMetadata_; }
    const HeaderCollection& systemMetadata() const { return systemMetadata_; }
    HeaderCollection& systemMetadata() { return systemMetadata_; }

    // The system value, or "" when absent.
    std::string system(const std::string& name) const;
    std::string eTag() const { return system("ETag"); }
    // -1 when there is no Content-Length.
    int64_t contentLength() const;

  private:
    HeaderCollection userMetadata_;
    HeaderCollection systemMetadata_;
};

// Removes every leading and trailing double quote.
std::string TrimQuotes(const std::string& text);

}  // namespace oss
