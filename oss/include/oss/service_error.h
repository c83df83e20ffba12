// How a failed attempt becomes the error a caller sees.
#pragma once

#include <cstdint>
#include <string>

#include "oss/outcome.h"

namespace oss {

// Whether the body of an answer with this status is the service's error document: 203 (a
// callback that failed) and 3xx to 5xx.
bool IsServerErrorStatus(int32_t status);

// For a 203 or 3xx-5xx answer with a body, the service's XML error document: code, message,
// request id and host id from <Error>; "ParseXMLError:<n>" with the parser's error name when
// the body is not well-formed XML; "ParseXMLError" with the body when its root is no error
// element. Otherwise code and message of the attempt. The request id falls back to the
// "x-oss-request-id" header.
ServiceError MakeServiceError(const AttemptError& error);

// "YYYY-MM-DDThh:mm:ss.fffZ" as seconds since 1970 (UTC); -1 when the text does not have that
// form or names no valid time.
int64_t UtcToEpochSeconds(const std::string& text);

// The ServerTime of a RequestTimeTooSkewed error document, as seconds since 1970; -1 when the
// document has none that can be read.
int64_t ServerTimeOfSkewError(const std::string& document);

}  // namespace oss
