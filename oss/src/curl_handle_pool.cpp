#include "curl_handle_pool.h"

#include <algorithm>
#include <limits>

namespace oss {

namespace {

constexpr long kReceiveBufferBytes = 512 * 1024;

uint32_t NonNegative(int32_t value) {
    return static_cast<uint32_t>(std::max(value, 0));
}

}  // namespace

CurlHandlePool::CurlHandlePool(int32_t maxSize, int32_t requestTimeoutMs, int32_t connectTimeoutMs,
                               CreateHandle createHandle)
    : maxSize_(std::max<uint32_t>(NonNegative(maxSize), 1)),
      requestTimeoutMs_(NonNegative(requestTimeoutMs)),
      connectTimeoutMs_(NonNegative(connectTimeoutMs)),
      createHandle_(createHandle) {}

CurlHandlePool::~CurlHandlePool() {
    std::vector<CurlEasyHandle> handles;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        shuttingDown_ = true;
        handleReturned_.wait(lock, [this] { return freeHandles_.size() >= poolSize_.load(); });
        handles.swap(freeHandles_);
    }
    // The handles close here, outside the lock.
}

CurlEasyHandle CurlHandlePool::acquire() {
    bool atHand;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        atHand = !freeHandles_.empty() && !shuttingDown_;
    }
    if (!atHand) {
        grow();
    }
    std::unique_lock<std::mutex> lock(mutex_);
    // A handle that exists comes back sooner or later; with none at all, waiting would be
    // forever.
    handleReturned_.wait(
        lock, [this] { return shuttingDown_ || !freeHandles_.empty() || poolSize_.load() == 0; });
    if (shuttingDown_ || freeHandles_.empty()) {
        return nullptr;
    }
    CurlEasyHandle handle = std::move(freeHandles_.back());
    freeHandles_.pop_back();
    return handle;
}

void CurlHandlePool::release(CurlEasyHandle handle) {
    if (!handle) {
        return;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    freeHandles_.push_back(std::move(handle));
    // Every waiter re-checks: an acquirer, or the destructor counting the returned handles.
    // Signalled under the lock, because once the last handle is back the destructor may end
    // the pool as soon as the lock is free.
    handleReturned_.notify_all();
}

void CurlHandlePool::grow() {
    std::lock_guard<std::mutex> growLock(growMutex_);
    const uint32_t size = poolSize_.load();
    if (size >= maxSize_) {
        return;
    }
    const uint32_t wanted = std::min(maxSize_ - size, 2 * std::max<uint32_t>(size, 1));
    uint32_t created = 0;
    for (; created < wanted; ++created) {
        CurlEasyHandle handle = createHandle();
        if (!handle) {
            break;
        }
        release(std::move(handle));
    }
    poolSize_.store(size + created);
    if (created == 0) {
        // Wakes acquirers that wait on a pool in which no handle could ever be made.
        handleReturned_.notify_all();
    }
}

CurlEasyHandle CurlHandlePool::createHandle() const {
    CurlEasyHandle handle(createHandle_());
    if (handle) {
        applyDefaultOptions(handle.get());
    }
    return handle;
}

void CurlHandlePool::applyDefaultOptions(CURL* handle) const {
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_TCP_NODELAY, 1L);
    curl_easy_setopt(handle, CURLOPT_NETRC, static_cast<long>(CURL_NETRC_IGNORED));
    curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, 0L);
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(connectTimeoutMs_));
    // A transfer is cut off only when it moves less than 1 byte per second for this long.
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, static_cast<long>(requestTimeoutMs_ / 1000));
    // With a size limit set, libcurl fails an answer whose Content-Length overflows instead of
    // ignoring it and reading until the connection closes; the limit itself is never reached.
    curl_easy_setopt(handle, CURLOPT_MAXFILESIZE_LARGE, std::numeric_limits<curl_off_t>::max());
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 0L);
    // Larger reads than libcurl's 16 KiB default: a download then costs a sixth of the system
    // calls and callbacks, which keeps GetObject level with the curl tool on a fast link.
    curl_easy_setopt(handle, CURLOPT_BUFFERSIZE, kReceiveBufferBytes);
}

}  // namespace oss
