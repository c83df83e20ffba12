// The error-document parser: the body of a failed answer read as the service's XML error, and
// the server time of a clock-skew error.
#include "fuzz_support.h"
#include "oss/service_error.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string body = fuzzsupport::Text(data, size);
    oss::AttemptError attempt;
    attempt.status = 403;
    attempt.code = "ServerError:403";
    attempt.message = body;
    attempt.headers["x-oss-request-id"] = "FROM-HEADER";
    const oss::ServiceError error = oss::MakeServiceError(attempt);
    // The caller always learns which request failed.
    FUZZ_CHECK(!error.requestId.empty() || body.find("RequestId") != std::string::npos);
    (void)oss::ServerTimeOfSkewError(body);
    (void)oss::UtcToEpochSeconds(body);
    return 0;
}
