// State of one CurlHttpClient::makeRequest call, handed to libcurl's callbacks.
#pragma once

#include <curl/curl.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

#include "oss/curl_http_client.h"
#include "oss/http_message.h"
#include "oss/transfer.h"

namespace oss {

// Caps on what the transport itself keeps in memory from the peer.
inline constexpr size_t kMaxHeaderBytes = 256 * 1024;       // all header lines of one call
inline constexpr int64_t kMaxMemoryBody = 4 * 1024 * 1024;  // bodies the transport buffers

struct TransferContext {
    CurlHttpClient* client = nullptr;
    CURL* curlHandle = nullptr;
    HttpRequest* request = nullptr;
    HttpResponse* response = nullptr;
    int64_t transferred = 0;
    int64_t total = -1;
    bool firstRecvBody = true;
    int64_t recvBodyPos = -1;
    TransferProgress transferProgress;
    bool checkCrc64 = false;
    uint64_t sendCrc64 = 0;
    uint64_t recvCrc64 = 0;
    int32_t sendSpeed = 0;
    int32_t recvSpeed = 0;

    size_t headerBytes = 0;
    bool bodyInMemory = false;  // the body is a stream the transport made, so it is capped
    // Why a callback stopped the transfer, when the stream state does not tell.
    std::string failureCause;

    // The rate floor (settings minTransferRate*): a transfer that moves less than rateFloor
    // bytes per second over a whole window ends as a timeout, so that a body that trickles
    // cannot hold a connection for ever; the retries then continue the download. A rate limiter
    // set lower than twice the floor lowers it to half its own rate.
    int64_t rateFloor = 0;
    std::chrono::seconds rateWindow{0};  // 0: no floor
    // The current window: when it began and the bytes moved until then.
    bool rateWindowStarted = false;
    std::chrono::steady_clock::time_point rateWindowStart;
    int64_t rateWindowStartBytes = 0;
    bool rateUnderFloor = false;
};

size_t recvHeaders(char* line, size_t size, size_t count, void* context);
size_t recvBody(char* data, size_t size, size_t count, void* context);
size_t sendBody(char* buffer, size_t size, size_t count, void* context);
int progressHook(void* context, curl_off_t downloadTotal, curl_off_t downloaded,
                 curl_off_t uploadTotal, curl_off_t uploaded);
int debugCallback(CURL* handle, curl_infotype type, char* data, size_t size, void* unused);

}  // namespace oss
