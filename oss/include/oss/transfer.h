// Callables a request carries into the transport: progress reports and the response-body sink.
#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>

#include "oss/header_collection.h"

namespace oss {

// (bytes moved by this step, bytes moved so far in this attempt, expected total or -1, userData).
// A download that continues an earlier attempt counts both from the start of the object.
using ProgressCallback = std::function<void(uint64_t, int64_t, int64_t, void*)>;

// Asked by the transport's progress callback, often while bytes flow and about once a second
// while none arrive: true aborts the transfer, which then fails with the transport status
// 200042 (libcurl's aborted-by-callback), which the default retry policy does not retry.
using TransferCancelled = std::function<bool()>;

struct TransferProgress {
    ProgressCallback handler;
    void* userData = nullptr;          // handed back unchanged to the handler
    TransferCancelled cancelled = {};  // none: the transfer runs to its end
};

// Makes the stream that receives a successful response's body.
using ResponseStreamFactory = std::function<std::shared_ptr<std::iostream>()>;

// Where the body of a 2xx answer goes: the stream, standing where the bytes belong, and the
// CRC-64 of what the body continues (0 for a body that starts the object).
struct ResponseBodyTarget {
    std::shared_ptr<std::iostream> stream;  // null refuses the body: the transfer then fails
    uint64_t crc64Seed = 0;
};

// Chooses the target when the first body bytes of a 2xx answer arrive, from its status and
// headers. Used in place of the factory when set.
using ResponseBodyChooser =
    std::function<ResponseBodyTarget(int32_t status, const HeaderCollection& headers)>;

}  // namespace oss
