#include "oss/client.h"

#include <chrono>
#include <cstdlib>
#include <optional>
#include <sstream>

#include "decimal_number.h"
#include "oss/curl_http_client.h"
#include "oss/retry_strategy.h"
#include "oss/service_error.h"

namespace oss {

namespace {

constexpr int32_t kCrc64Mismatch = 100001;
// Error documents are short; the transport caps what it buffers, this caps what is copied.
constexpr std::streamsize kMaxErrorText = 4 * 1024 * 1024;

std::string BodyText(const std::shared_ptr<std::iostream>& body) {
    if (!body) {
        return std::string();
    }
    body->clear();
    std::string text;
    char block[4096];
    while (static_cast<std::streamsize>(text.size()) < kMaxErrorText &&
           body->read(block, sizeof(block)).gcount() > 0) {
        text.append(block, static_cast<size_t>(body->gcount()));
    }
    body->clear();
    return text;
}

int64_t NowSeconds() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

}  // namespace

Client::Client(const std::string& serviceName, const OssClientSettings& settings)
    : serviceName_(serviceName),
      settings_(settings),
      httpClient_(settings.httpClient ? settings.httpClient
                                      : std::make_shared<CurlHttpClient>(settings_)) {}

AttemptOutcome Client::SendWithRetry(const std::string& endpoint, const OssRequest& request,
                                     HttpMethod method, AttemptObserver* observer) {
    using Verdict = AttemptObserver::Verdict;
    for (int32_t retries = 0;;) {
        Verdict verdict = Verdict::NoProgress;
        AttemptOutcome outcome = SendOnce(endpoint, request, method, observer, &verdict);
        if (outcome.succeeded) {
            return outcome;
        }
        if (settings_.adjustClockSkew && outcome.error.status == 403 &&
            outcome.error.message.find("RequestTimeTooSkewed") != std::string::npos) {
            CorrectClockSkew(outcome.error);
        }
        if (verdict == Verdict::StartOver) {
            continue;
        }
        const std::shared_ptr<RetryStrategy>& policy = settings_.retryPolicy;
        if (!policy || !policy->ShouldRetry(outcome.error, retries)) {
            return outcome;
        }
        httpClient_->waitForRetry(policy->RetryDelayMs(outcome.error, retries));
        if (verdict == Verdict::NoProgress) {
            ++retries;
        }
    }
}

void Client::CorrectClockSkew(const AttemptError& error) {
    const int64_t serverTime = ServerTimeOfSkewError(error.message);
    if (serverTime != -1) {
        setRequestDateOffset(serverTime - NowSeconds());
    }
}

AttemptOutcome Client::SendOnce(const std::string& endpoint, const OssRequest& request,
                                HttpMethod method, AttemptObserver* observer,
                                AttemptObserver::Verdict* verdict) {
    AttemptOutcome outcome;
    std::shared_ptr<HttpRequest> http = PrepareHttpRequest(endpoint, request, method);
    if (http && observer) {
        observer->BeforeAttempt(*http);
    }
    std::shared_ptr<HttpResponse> response = http ? httpClient_->makeRequest(http) : nullptr;
    if (response && observer) {
        const AttemptObserver::Verdict seen = observer->AfterAttempt(*response);
        if (verdict) {
            *verdict = seen;
        }
    }
    if (IsErrorResponse(response)) {
        outcome.error = MakeAttemptError(response);
    } else {
        outcome.succeeded = true;
        outcome.response = std::move(response);
    }
    return outcome;
}

bool Client::IsErrorResponse(const std::shared_ptr<HttpResponse>& response) const {
    if (!response || response->statusCode() / 100 != 2) {
        return true;
    }
    const std::shared_ptr<HttpRequest>& request = response->request();
    if (!request) {
        return false;
    }
    const std::string serverCrc = response->getHeader("x-oss-hash-crc64ecma");
    // A ranged answer carries the whole object's CRC-64, so only whole bodies are compared, and
    // the bodies that continue earlier attempts of a download.
    if (request->checkCrc64() && (!request->hasHeader("Range") || request->crc64CoversObject()) &&
        response->hasHeader("x-oss-hash-crc64ecma")) {
        // A hash that is not a number matches no body (read loosely, it would pass as 0).
        const std::optional<uint64_t> expected = DecimalNumber(serverCrc);
        if (expected != request->crc64Result()) {
            response->setStatusCode(kCrc64Mismatch);
            response->setStatusMessage(
                "Crc64 validation failed. Expected hash:" +
                (expected ? std::to_string(*expected) : serverCrc) +
                " not equal to calculated hash:" + std::to_string(request->crc64Result()) +
                ". Transferd bytes:" + std::to_string(request->transferredBytes()) +
                ". RequestId:" + response->getHeader("x-oss-request-id"));
            return true;
        }
    }
    if (response->statusCode() == 203 &&
        (request->hasHeader("x-oss-callback") ||
         request->url().query().find("callback=") != std::string::npos)) {
        return true;
    }
    return false;
}

AttemptError Client::MakeAttemptError(const std::shared_ptr<HttpResponse>& response) const {
    AttemptError error;
    if (!response) {
        error.status = 0;
        error.code = "NullptrError";
        error.message = "HttpResponse is nullptr, should not be here.";
        return error;
    }
    error.status = response->statusCode();
    if (IsServerErrorStatus(error.status)) {
        error.code = "ServerError:" + std::to_string(error.status);
        error.message = BodyText(response->getBody());
    } else {
        error.code = "ClientError:" + std::to_string(error.status);
        error.message = response->statusMessage();
    }
    error.headers = response->getHeaders();
    return error;
}

}  // namespace oss
