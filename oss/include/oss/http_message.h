// HTTP request and response values passed between request building, transport and results.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <utility>

#include "oss/header_collection.h"
#include "oss/http_types.h"
#include "oss/transfer.h"
#include "oss/url.h"

namespace oss {

class HttpMessage {
  public:
    virtual ~HttpMessage() = default;

    // Finds the name case-insensitively (or inserts it) and replaces the value.
    void setHeader(const std::string& name, const std::string& value);
    // "" when absent.
    std::string getHeader(const std::string& name) const;
    bool hasHeader(const std::string& name) const;
    void removeHeader(const std::string& name);
    const HeaderCollection& getHeaders() const { return headers_; }
    HeaderCollection& getHeaders() { return headers_; }

    // Null when there is no body.
    void setBody(std::shared_ptr<std::iostream> body) { body_ = std::move(body); }
    const std::shared_ptr<std::iostream>& getBody() const { return body_; }

  private:
    HeaderCollection headers_;
    std::shared_ptr<std::iostream> body_;
};

class HttpRequest : public HttpMessage {
  public:
    explicit HttpRequest(HttpMethod method) : method_(method) {}

    HttpMethod method() const { return method_; }
    Url url() const { return url_; }
    void setUrl(const Url& url) { url_ = url; }

    const ResponseStreamFactory& responseStreamFactory() const { return responseStreamFactory_; }
    void setResponseStreamFactory(ResponseStreamFactory factory) {
        responseStreamFactory_ = std::move(factory);
    }
    const ResponseBodyChooser& responseBodyChooser() const { return responseBodyChooser_; }
    void setResponseBodyChooser(ResponseBodyChooser chooser) {
        responseBodyChooser_ = std::move(chooser);
    }
    const TransferProgress& transferProgress() const { return transferProgress_; }
    void setTransferProgress(const TransferProgress& progress) { transferProgress_ = progress; }

    // When set, the transport computes CRC-64 over the bytes it sends and receives.
    bool checkCrc64() const { return checkCrc64_; }
    void setCheckCrc64(bool check) { checkCrc64_ = check; }
    // Set when the CRC-64 describes the whole object even though the request is ranged (a
    // download that continues earlier attempts), so that it is compared with the server's.
    bool crc64CoversObject() const { return crc64CoversObject_; }
    void setCrc64CoversObject(bool covers) { crc64CoversObject_ = covers; }
    uint64_t crc64Result() const { return crc64Result_; }
    void setCrc64Result(uint64_t crc) { crc64Result_ = crc; }
    int64_t transferredBytes() const { return transferredBytes_; }
    void setTransferredBytes(int64_t bytes) { transferredBytes_ = bytes; }

  private:
    HttpMethod method_;
    Url url_;
    ResponseStreamFactory responseStreamFactory_;
    ResponseBodyChooser responseBodyChooser_;
    TransferProgress transferProgress_;
    bool checkCrc64_ = false;
    bool crc64CoversObject_ = false;
    uint64_t crc64Result_ = 0;
    int64_t transferredBytes_ = 0;
};

class HttpResponse : public HttpMessage {
  public:
    // Keeps the request alive as long as the response.
    explicit HttpResponse(std::shared_ptr<HttpRequest> request) : request_(std::move(request)) {}

    const std::shared_ptr<HttpRequest>& request() const { return request_; }
    // The HTTP status, a transport error code, or -1 before anything arrived.
    int32_t statusCode() const { return statusCode_; }
    void setStatusCode(int32_t code) { statusCode_ = code; }
    const std::string& statusMessage() const { return statusMessage_; }
    void setStatusMessage(const std::string& message) { statusMessage_ = message; }
    // A null text clears the message.
    void setStatusMessage(const char* message) { statusMessage_ = message ? message : ""; }

  private:
    std::shared_ptr<HttpRequest> request_;
    int32_t statusCode_ = -1;
    std::string statusMessage_;
};

}  // namespace oss
