// Callables a request carries into the transport: progress reports and the response-body sink.
#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>

namespace oss {

// (bytes moved by this step, bytes moved so far in this attempt, expected total or -1, userData).
// It cannot stop the transfer.
using ProgressCallback = std::function<void(uint64_t, int64_t, int64_t, void*)>;

struct TransferProgress {
    ProgressCallback handler;
    void* userData = nullptr;  // handed back unchanged to the handler
};

// Makes the stream that receives a successful response's body.
using ResponseStreamFactory = std::function<std::shared_ptr<std::iostream>()>;

}  // namespace oss
