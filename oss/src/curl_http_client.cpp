#include "oss/curl_http_client.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>

#include "curl_handle_pool.h"
#include "memory_stream.h"
#include "oss/log.h"
#include "transfer_context.h"
#include "transport_status.h"

namespace oss {

namespace {

constexpr char kTag[] = "CurlHttpClient";

// Builds the header lines of the request: "name: value" for every non-empty value, then
// "Expect:" so that libcurl sends no "Expect: 100-continue". Null when libcurl runs out of
// memory.
CurlSlist BuildHeaderList(const HttpRequest& request) {
    CurlSlist list;
    auto append = [&list](const std::string& line) {
        curl_slist* longer = curl_slist_append(list.get(), line.c_str());
        if (longer == nullptr) {
            return false;
        }
        (void)list.release();  // the longer list now owns the old nodes
        list.reset(longer);
        return true;
    };
    for (const auto& [name, value] : request.getHeaders()) {
        if (!value.empty() && !append(name + ": " + value)) {
            return nullptr;
        }
    }
    if (!append("Expect:")) {
        return nullptr;
    }
    return list;
}

std::string FailureMessage(CURLcode code, const TransferContext& context, const char* errorBuffer) {
    std::string message = curl_easy_strerror(code);
    if (code != CURLE_WRITE_ERROR) {
        message += std::string(".") + errorBuffer;
        if (!context.failureCause.empty()) {
            message += ". Caused by " + context.failureCause + ".";
        }
        return message;
    }
    const std::shared_ptr<std::iostream>& body = context.response->getBody();
    if (!context.failureCause.empty()) {
        message += ". Caused by " + context.failureCause + ".";
    } else if (!body) {
        message += ". Caused by content is null.";
    } else if (body->bad()) {
        message += ". Caused by content is in bad state(Read/writing error on i/o operation).";
    } else if (body->fail()) {
        message += ". Caused by content is in fail state(Logical error on i/o operation).";
    }
    return message;
}

// Where reading a request body begins (-1 without a body, or for one that cannot tell), so that
// a retry sends the same bytes.
int64_t ReadPosition(const std::shared_ptr<std::iostream>& body) {
    return body ? static_cast<int64_t>(body->tellg()) : -1;
}

void RewindTo(const std::shared_ptr<std::iostream>& body, int64_t position) {
    if (body && position != -1) {
        body->clear();
        body->seekg(position);
    }
}

// The answer of an attempt that never started: libcurl could not build the header list (out of
// memory) or no handle can be made at all.
void FailWithoutTransfer(HttpRequest& request, HttpResponse& response, bool outOfMemory) {
    request.setCrc64Result(0);
    request.setTransferredBytes(0);
    response.setStatusCode(TransportStatus(CURLE_FAILED_INIT));
    response.setStatusMessage(
        std::string(curl_easy_strerror(CURLE_FAILED_INIT)) +
        (outOfMemory ? ". Out of memory." : ". No curl handle could be created."));
    response.setBody(NewMemoryStream());
}

// What the callbacks of one transfer share. The rate floor stays off without a rate.
TransferContext NewTransferContext(CurlHttpClient* client, CURL* handle, HttpRequest& request,
                                   HttpResponse& response, int64_t rateFloor,
                                   std::chrono::seconds rateWindow) {
    TransferContext context;
    context.client = client;
    context.curlHandle = handle;
    context.request = &request;
    context.response = &response;
    context.transferProgress = request.transferProgress();
    context.checkCrc64 = request.checkCrc64();
    // The request's Content-Length describes its own body. A download carries "Content-Length:
    // 0" without having one, and its total must stay unknown (-1) until the answer gives one.
    if (request.getBody() && request.hasHeader("Content-Length")) {
        context.total = std::strtoll(request.getHeader("Content-Length").c_str(), nullptr, 10);
    }
    if (rateFloor > 0) {
        context.rateFloor = rateFloor;
        context.rateWindow = rateWindow;
    }
    return context;
}

// The HTTP status of a finished transfer; for a failed one the transport status, with
// libcurl's text and what the callbacks noted.
void SetResponseStatus(CURLcode result, long responseCode, TransferContext& context,
                       char* errorBuffer) {
    HttpResponse& response = *context.response;
    if (result == CURLE_OK) {
        response.setStatusCode(static_cast<int32_t>(responseCode));
    } else if (result == CURLE_ABORTED_BY_CALLBACK && context.rateUnderFloor) {
        // Too slow counts as a timeout, as a stall does, so the retry policy treats both alike.
        context.failureCause = "transfer rate under " + std::to_string(context.rateFloor) +
                               " bytes per second for " +
                               std::to_string(context.rateWindow.count()) + " seconds";
        errorBuffer[0] = '\0';
        response.setStatusCode(TransportStatus(CURLE_OPERATION_TIMEDOUT));
        response.setStatusMessage(FailureMessage(CURLE_OPERATION_TIMEDOUT, context, errorBuffer));
    } else {
        response.setStatusCode(TransportStatus(result));
        response.setStatusMessage(FailureMessage(result, context, errorBuffer));
    }
}

// The CRC-64 of the bytes sent (uploads) or received (everything else), and their count.
void RecordTransferTotals(const TransferContext& context) {
    HttpRequest& request = *context.request;
    const HttpMethod method = request.method();
    request.setCrc64Result(method == HttpMethod::Post || method == HttpMethod::Put
                               ? context.sendCrc64
                               : context.recvCrc64);
    request.setTransferredBytes(context.transferred);
}

// The handle goes back without the options of this call. After a failure a fresh handle takes
// its place, so that a broken connection is not used again.
void ReturnHandle(CurlHandlePool& pool, CurlEasyHandle handle, bool failed) {
    curl_easy_reset(handle.get());
    if (failed) {
        if (CurlEasyHandle fresh = pool.createHandle()) {
            handle = std::move(fresh);
        } else {
            pool.applyDefaultOptions(handle.get());
        }
    } else {
        pool.applyDefaultOptions(handle.get());
    }
    pool.release(std::move(handle));
}

// Every answer has a body. One the stream cannot take whole is a write error; after a failure
// the stream goes back to where this attempt began writing, so that a retry continues there.
void SettleResponseBody(const TransferContext& context, bool failed) {
    HttpResponse& response = *context.response;
    const std::shared_ptr<std::iostream>& body = response.getBody();
    if (!body) {
        response.setBody(NewMemoryStream());
        return;
    }
    // Bytes still buffered in the stream that cannot be written make the body incomplete: that
    // is a write error, also after a transfer that libcurl finished.
    if (body->flush().bad() && response.statusCode() != TransportStatus(CURLE_WRITE_ERROR)) {
        response.setStatusCode(TransportStatus(CURLE_WRITE_ERROR));
        response.setStatusMessage(FailureMessage(CURLE_WRITE_ERROR, context, ""));
        failed = true;
    }
    if (failed && context.recvBodyPos >= 0) {
        if (LogEnabled(SdkLogLevel::Debug)) {
            LogWrite(SdkLogLevel::Debug, kTag,
                     "request(%p) setResponseBody, tellp:%lld, recvBodyPos:%lld",
                     static_cast<void*>(context.request), static_cast<long long>(body->tellp()),
                     static_cast<long long>(context.recvBodyPos));
        }
        body->clear();
        body->seekp(context.recvBodyPos);
    }
}

}  // namespace

CurlHttpClient::CurlHttpClient(const OssClientSettings& settings)
    : handlePool_(std::make_unique<CurlHandlePool>(
          settings.maxConnections, settings.requestTimeoutMs, settings.connectTimeoutMs)),
      userAgent_(settings.userAgent),
      proxyScheme_(settings.proxyScheme),
      proxyHost_(settings.proxyHost),
      proxyPort_(settings.proxyPort),
      proxyUser_(settings.proxyUser),
      proxyPassword_(settings.proxyPassword),
      verifyTls_(settings.verifyTls),
      caDirectory_(settings.caDirectory),
      caBundleFile_(settings.caBundleFile),
      bindInterface_(settings.bindInterface),
      uploadRateLimiter_(settings.uploadRateLimiter),
      downloadRateLimiter_(settings.downloadRateLimiter),
      minTransferRate_(std::max<int64_t>(settings.minTransferRateBytesPerSecond, 0)),
      minTransferRateWindow_(std::max(settings.minTransferRateWindowMs, 0) / 1000) {}

CurlHttpClient::~CurlHttpClient() = default;

uint32_t CurlHttpClient::poolSize() const {
    return handlePool_->poolSize();
}

std::shared_ptr<HttpResponse> CurlHttpClient::makeRequest(
    const std::shared_ptr<HttpRequest>& request) {
    const bool debug = LogEnabled(SdkLogLevel::Debug);
    if (debug) {
        LogWrite(SdkLogLevel::Debug, kTag, "request(%p) enter makeRequest",
                 static_cast<void*>(request.get()));
    }
    CurlSlist headerList = BuildHeaderList(*request);
    auto response = std::make_shared<HttpResponse>(request);
    const std::shared_ptr<std::iostream>& requestBody = request->getBody();
    const int64_t bodyReadPos = ReadPosition(requestBody);

    CurlEasyHandle handle = headerList ? handlePool_->acquire() : nullptr;
    if (debug) {
        LogWrite(SdkLogLevel::Debug, kTag, "request(%p) acquire curl handle:%p",
                 static_cast<void*>(request.get()), static_cast<void*>(handle.get()));
    }
    if (!handle) {
        FailWithoutTransfer(*request, *response, headerList == nullptr);
        return response;
    }

    TransferContext context = NewTransferContext(this, handle.get(), *request, *response,
                                                 minTransferRate_, minTransferRateWindow_);
    char errorBuffer[CURL_ERROR_SIZE];
    setRequestOptions(context, headerList.get(), errorBuffer);
    const CURLcode result = curl_easy_perform(handle.get());
    long responseCode = 0;
    curl_easy_getinfo(handle.get(), CURLINFO_RESPONSE_CODE, &responseCode);
    SetResponseStatus(result, responseCode, context, errorBuffer);
    RecordTransferTotals(context);

    ReturnHandle(*handlePool_, std::move(handle), result != CURLE_OK);
    headerList.reset();
    SettleResponseBody(context, result != CURLE_OK);
    RewindTo(requestBody, bodyReadPos);
    if (debug) {
        LogWrite(SdkLogLevel::Debug, kTag,
                 "request(%p) leave makeRequest, CURLcode:%d, ResponseCode:%d",
                 static_cast<void*>(request.get()), static_cast<int>(result),
                 static_cast<int>(responseCode));
    }
    return response;
}

void CurlHttpClient::setRequestOptions(TransferContext& context, curl_slist* headerList,
                                       char* errorBuffer) const {
    CURL* handle = context.curlHandle;
    const std::string url = context.request->url().toString();
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    switch (context.request->method()) {
        case HttpMethod::Head:
            curl_easy_setopt(handle, CURLOPT_NOBODY, 1L);
            break;
        case HttpMethod::Post:
            curl_easy_setopt(handle, CURLOPT_POST, 1L);
            // Without the size libcurl would also frame the body as chunked, beside the
            // request's own Content-Length, and a server would read the framing as data.
            if (context.total >= 0) {
                curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE_LARGE,
                                 static_cast<curl_off_t>(context.total));
            }
            break;
        case HttpMethod::Put:
            curl_easy_setopt(handle, CURLOPT_UPLOAD, 1L);
            if (context.total >= 0) {
                curl_easy_setopt(handle, CURLOPT_INFILESIZE_LARGE,
                                 static_cast<curl_off_t>(context.total));
            }
            break;
        case HttpMethod::Delete:
            curl_easy_setopt(handle, CURLOPT_CUSTOMREQUEST, "DELETE");
            break;
        default:
            break;  // libcurl's plain GET
    }
    curl_easy_setopt(handle, CURLOPT_USERAGENT, userAgent_.c_str());
    curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headerList);
    curl_easy_setopt(handle, CURLOPT_HEADERDATA, &context);
    curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, &recvHeaders);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &context);
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &recvBody);
    curl_easy_setopt(handle, CURLOPT_READDATA, &context);
    curl_easy_setopt(handle, CURLOPT_READFUNCTION, &sendBody);
    if (verifyTls_) {
        curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 1L);
        curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 2L);
    }
    if (!caDirectory_.empty()) {
        curl_easy_setopt(handle, CURLOPT_CAPATH, caDirectory_.c_str());
    }
    if (!caBundleFile_.empty()) {
        curl_easy_setopt(handle, CURLOPT_CAINFO, caBundleFile_.c_str());
        // The bundle names the only CAs trusted, as it does for Schannel: libcurl's built-in
        // CA folder (the system's certificates) is dropped unless a folder is given too.
        if (caDirectory_.empty()) {
            curl_easy_setopt(handle, CURLOPT_CAPATH, nullptr);
        }
    }
    if (!proxyHost_.empty()) {
        const std::string proxy = std::string(HttpSchemeText(proxyScheme_)) + "://" + proxyHost_;
        curl_easy_setopt(handle, CURLOPT_PROXY, proxy.c_str());
        curl_easy_setopt(handle, CURLOPT_PROXYPORT, static_cast<long>(proxyPort_));
        curl_easy_setopt(handle, CURLOPT_PROXYUSERNAME, proxyUser_.c_str());
        curl_easy_setopt(handle, CURLOPT_PROXYPASSWORD, proxyPassword_.c_str());
    } else {
        // An empty proxy text turns proxies off; without it libcurl would take one from the
        // environment (http_proxy, HTTPS_PROXY, ALL_PROXY).
        curl_easy_setopt(handle, CURLOPT_PROXY, "");
    }
    if (!bindInterface_.empty()) {
        curl_easy_setopt(handle, CURLOPT_INTERFACE, bindInterface_.c_str());
    }
    if (GetLogLevel() >= SdkLogLevel::Info) {
        curl_easy_setopt(handle, CURLOPT_VERBOSE, 1L);
        curl_easy_setopt(handle, CURLOPT_DEBUGFUNCTION, &debugCallback);
    }
    curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, errorBuffer);
    errorBuffer[0] = '\0';
    // The counters of the progress call are not used, so the non-deprecated variant serves.
    curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, &progressHook);
    curl_easy_setopt(handle, CURLOPT_XFERINFODATA, &context);
    curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
    if (uploadRateLimiter_) {
        context.sendSpeed = uploadRateLimiter_->currentRate();
        curl_easy_setopt(handle, CURLOPT_MAX_SEND_SPEED_LARGE,
                         static_cast<curl_off_t>(context.sendSpeed) * 1024);
    }
    if (downloadRateLimiter_) {
        context.recvSpeed = downloadRateLimiter_->currentRate();
        curl_easy_setopt(handle, CURLOPT_MAX_RECV_SPEED_LARGE,
                         static_cast<curl_off_t>(context.recvSpeed) * 1024);
    }
}

}  // namespace oss
