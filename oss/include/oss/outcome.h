// What an operation gives back: its result, or the error that stopped it.
#pragma once

#include <memory>
#include <string>
#include <utility>

#include "oss/http_message.h"
#include "oss/retry_strategy.h"

namespace oss {

// The error a caller sees. code is "ValidateError", the service's XML code, "ServerError:" +
// status, "ParseXMLError[:n]", "ClientError:" + number or "NullptrError".
struct ServiceError {
    std::string code;
    std::string message;
    std::string requestId;
    std::string hostId;
};

template <typename R>
class RequestOutcome {
  public:
    RequestOutcome() = default;
    explicit RequestOutcome(R result) : succeeded_(true), result_(std::move(result)) {}
    explicit RequestOutcome(ServiceError error) : error_(std::move(error)) {}

    bool succeeded() const { return succeeded_; }
    // Four empty texts on success.
    const ServiceError& error() const { return error_; }
    // Default-constructed on failure.
    const R& result() const { return result_; }
    R& result() { return result_; }

  private:
    bool succeeded_ = false;
    ServiceError error_;
    R result_{};
};

// One attempt: the response on success, the error otherwise.
struct AttemptOutcome {
    bool succeeded = false;
    AttemptError error;
    std::shared_ptr<HttpResponse> response;
};

}  // namespace oss
