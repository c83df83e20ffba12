// libcurl's callbacks of one transfer. Each catches everything: an exception must not unwind
// through libcurl, so it stops the transfer and is reported as the failure's cause.
#include <algorithm>
#include <exception>
#include <string_view>

#include "oss/crc64.h"
#include "memory_stream.h"
#include "oss/log.h"
#include "text_helpers.h"
#include "transfer_context.h"

namespace oss {

namespace {

constexpr char kTag[] = "CurlHttpClient";

// Any answer other than the byte count makes libcurl end the transfer with CURLE_WRITE_ERROR.
constexpr size_t kNoContext = static_cast<size_t>(-1);
constexpr size_t kStreamUnusable = static_cast<size_t>(-2);
constexpr size_t kStreamWriteFailed = static_cast<size_t>(-3);
constexpr size_t kCallbackFailed = static_cast<size_t>(-4);

bool IsTokenChar(char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
        return true;
    }
    return std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

bool IsHeaderName(std::string_view name) {
    return !name.empty() && std::all_of(name.begin(), name.end(), IsTokenChar);
}

// The blanks around a header value and the CR LF that ends its line.
constexpr std::string_view kHeaderValueSpaces = " \t\r\n";

void NoteFailure(TransferContext* context, const char* what, const std::exception* error) {
    try {
        context->failureCause = what;
        if (error != nullptr) {
            context->failureCause += ": ";
            context->failureCause += error->what();
        }
    } catch (...) {
        // Out of memory while describing the failure: the transfer still stops.
    }
}

void OpenBody(TransferContext* context) {
    long code = 0;
    curl_easy_getinfo(context->curlHandle, CURLINFO_RESPONSE_CODE, &code);
    const ResponseBodyChooser& chooser = context->request->responseBodyChooser();
    const ResponseStreamFactory& factory = context->request->responseStreamFactory();
    if (code / 100 == 2 && (chooser || factory)) {
        std::shared_ptr<std::iostream> stream;
        if (chooser) {
            ResponseBodyTarget target =
                chooser(static_cast<int32_t>(code), context->response->getHeaders());
            stream = std::move(target.stream);
            context->recvCrc64 = target.crc64Seed;
            if (!stream) {
                NoteFailure(context, "the answer does not continue the bytes already held",
                            nullptr);
            }
        } else {
            stream = factory();
        }
        context->response->setBody(stream);
        if (stream) {
            const auto position = static_cast<int64_t>(stream->tellp());
            context->recvBodyPos = position >= 0 ? position : -1;
        }
        if (LogEnabled(SdkLogLevel::Debug)) {
            LogWrite(SdkLogLevel::Debug, kTag, "request(%p) setResponseBody, recvBodyPos:%lld",
                     static_cast<void*>(context->request),
                     static_cast<long long>(context->recvBodyPos));
        }
    } else {
        // An error document (or a body nobody asked a stream for) never reaches the caller's
        // stream; it is kept in memory, within kMaxMemoryBody.
        context->response->setBody(NewMemoryStream());
        context->bodyInMemory = true;
    }
}

void LogDebugLine(CURL* handle, curl_infotype type, const char* data, int length) {
    switch (type) {
        case CURLINFO_TEXT:
            if (LogEnabled(SdkLogLevel::Info)) {
                LogWrite(SdkLogLevel::Info, kTag, "handle(%p)=> Info: %.*s",
                         static_cast<void*>(handle), length, data);
            }
            break;
        case CURLINFO_HEADER_IN:
            if (LogEnabled(SdkLogLevel::Debug)) {
                LogWrite(SdkLogLevel::Debug, kTag, "handle(%p)=> Recv header: %.*s",
                         static_cast<void*>(handle), length, data);
            }
            break;
        case CURLINFO_HEADER_OUT:
            if (LogEnabled(SdkLogLevel::Debug)) {
                LogWrite(SdkLogLevel::Debug, kTag, "handle(%p)=> Send header: %.*s",
                         static_cast<void*>(handle), length, data);
            }
            break;
        default:
            break;  // body and TLS data are not logged
    }
}

// Whether the window that ends now moved less than the floor; a window that is not over yet, or
// that moved enough, never ends the transfer.
bool RateStaysUnderFloor(TransferContext* context, int64_t moved) {
    if (context->rateWindow.count() <= 0) {
        return false;
    }
    const auto now = std::chrono::steady_clock::now();
    if (!context->rateWindowStarted) {
        context->rateWindowStarted = true;
        context->rateWindowStart = now;
        context->rateWindowStartBytes = moved;
        return false;
    }
    if (now - context->rateWindowStart < context->rateWindow) {
        return false;
    }
    int64_t floor = context->rateFloor;
    for (const int32_t limit : {context->sendSpeed, context->recvSpeed}) {
        if (limit > 0) {
            floor = std::min<int64_t>(floor, int64_t{limit} * 1024 / 2);
        }
    }
    const auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(now - context->rateWindowStart);
    if (moved - context->rateWindowStartBytes < floor * seconds.count()) {
        return true;
    }
    context->rateWindowStart = now;
    context->rateWindowStartBytes = moved;
    return false;
}

}  // namespace

size_t recvHeaders(char* line, size_t size, size_t count, void* userData) {
    const size_t n = size * count;
    auto* context = static_cast<TransferContext*>(userData);
    if (context == nullptr || context->response == nullptr) {
        return n;
    }
    try {
        context->headerBytes += n;
        if (context->headerBytes > kMaxHeaderBytes) {
            NoteFailure(context, "response headers too large", nullptr);
            return 0;
        }
        const std::string_view text(line, n);
        // A status line begins another answer (the final one after a 1xx interim answer such
        // as 100 Continue): only the final answer's headers count.
        if (text.substr(0, 5) == "HTTP/") {
            context->response->getHeaders().clear();
            context->total = -1;
        }
        const size_t colon = text.find(':');
        // Lines without a colon (status line, end of block) and lines whose name is not a
        // header name store nothing. The value loses surrounding white space and the CR LF.
        if (colon != std::string_view::npos && IsHeaderName(text.substr(0, colon))) {
            context->response->setHeader(
                std::string(text.substr(0, colon)),
                std::string(Trim(text.substr(colon + 1), kHeaderValueSpaces)));
        }
        if (text == "\r\n" && context->response->hasHeader("Content-Length")) {
            curl_off_t length = -1;
            curl_easy_getinfo(context->curlHandle, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
            context->total = length;
        }
        return n;
    } catch (const std::exception& error) {
        NoteFailure(context, "storing a response header failed", &error);
    } catch (...) {
        NoteFailure(context, "storing a response header failed", nullptr);
    }
    return 0;
}

size_t recvBody(char* data, size_t size, size_t count, void* userData) {
    const size_t n = size * count;
    auto* context = static_cast<TransferContext*>(userData);
    if (context == nullptr || context->response == nullptr || n == 0) {
        return kNoContext;
    }
    try {
        if (context->firstRecvBody) {
            OpenBody(context);
            context->firstRecvBody = false;
        }
        const std::shared_ptr<std::iostream>& body = context->response->getBody();
        if (!body || body->fail()) {
            return kStreamUnusable;
        }
        if (context->bodyInMemory &&
            context->transferred + static_cast<int64_t>(n) > kMaxMemoryBody) {
            NoteFailure(context, "response body too large to keep in memory", nullptr);
            return kCallbackFailed;
        }
        body->write(data, static_cast<std::streamsize>(n));
        if (body->bad()) {
            return kStreamWriteFailed;
        }
        context->transferred += static_cast<int64_t>(n);
        const TransferProgress& progress = context->transferProgress;
        if (progress.handler) {
            progress.handler(n, context->transferred, context->total, progress.userData);
        }
        if (context->checkCrc64) {
            context->recvCrc64 = crc64Update(context->recvCrc64, data, n);
        }
        return n;
    } catch (const std::exception& error) {
        NoteFailure(context, "receiving the response body failed", &error);
    } catch (...) {
        NoteFailure(context, "receiving the response body failed", nullptr);
    }
    return kCallbackFailed;
}

size_t sendBody(char* buffer, size_t size, size_t count, void* userData) {
    size_t n = size * count;
    auto* context = static_cast<TransferContext*>(userData);
    if (context == nullptr || context->request == nullptr) {
        return 0;
    }
    try {
        size_t got = 0;
        const std::shared_ptr<std::iostream>& body = context->request->getBody();
        if (body && n > 0) {
            if (context->total > 0) {
                const int64_t left = std::max<int64_t>(context->total - context->transferred, 0);
                n = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(n), left));
            }
            body->read(buffer, static_cast<std::streamsize>(n));
            got = static_cast<size_t>(body->gcount());
        }
        context->transferred += static_cast<int64_t>(got);
        const TransferProgress& progress = context->transferProgress;
        if (progress.handler) {
            progress.handler(got, context->transferred, context->total, progress.userData);
        }
        if (context->checkCrc64) {
            context->sendCrc64 = crc64Update(context->sendCrc64, buffer, got);
        }
        return got;
    } catch (const std::exception& error) {
        NoteFailure(context, "sending the request body failed", &error);
    } catch (...) {
        NoteFailure(context, "sending the request body failed", nullptr);
    }
    return CURL_READFUNC_ABORT;
}

int progressHook(void* userData, curl_off_t, curl_off_t downloaded, curl_off_t,
                 curl_off_t uploaded) {
    auto* context = static_cast<TransferContext*>(userData);
    if (context == nullptr || context->client == nullptr) {
        return 0;
    }
    try {
        const TransferCancelled& cancelled = context->transferProgress.cancelled;
        if (cancelled && cancelled()) {
            NoteFailure(context, "transfer cancelled by the caller", nullptr);
            return 1;  // CURLE_ABORTED_BY_CALLBACK, which no retry policy retries
        }
    } catch (...) {
        // A check that fails does not stop the transfer.
    }
    if (RateStaysUnderFloor(context, static_cast<int64_t>(downloaded + uploaded))) {
        context->rateUnderFloor = true;
        NoteFailure(context, "transfer rate under the floor", nullptr);
        return 1;  // libcurl ends the transfer with CURLE_ABORTED_BY_CALLBACK
    }
    try {
        if (const auto& limiter = context->client->uploadRateLimiter()) {
            const int32_t rate = limiter->currentRate();
            if (rate != context->sendSpeed) {
                context->sendSpeed = rate;
                curl_easy_setopt(context->curlHandle, CURLOPT_MAX_SEND_SPEED_LARGE,
                                 static_cast<curl_off_t>(rate) * 1024);
            }
        }
        if (const auto& limiter = context->client->downloadRateLimiter()) {
            const int32_t rate = limiter->currentRate();
            if (rate != context->recvSpeed) {
                context->recvSpeed = rate;
                curl_easy_setopt(context->curlHandle, CURLOPT_MAX_RECV_SPEED_LARGE,
                                 static_cast<curl_off_t>(rate) * 1024);
            }
        }
    } catch (...) {
        // A limiter that fails keeps the previous limit; the transfer goes on.
    }
    return 0;
}

int debugCallback(CURL* handle, curl_infotype type, char* data, size_t size, void*) {
    try {
        LogDebugLine(handle, type, data, static_cast<int>(std::min<size_t>(size, 1 << 20)));
    } catch (...) {
        // Logging never stops a transfer.
    }
    return 0;
}

}  // namespace oss
